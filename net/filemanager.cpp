#include "net/filemanager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <atomic>

namespace {
std::atomic<FileManager*> g_instance{nullptr};

QString firstLocation(QStandardPaths::StandardLocation location)
{
    return QStandardPaths::standardLocations(location).value(0);
}

QString inFolder(const QString& folder, const QString& name)
{
    const QString safe = FileManager::safeFileName(name);
    if (safe.isEmpty() || folder.isEmpty())
        return QString();
    return folder + QLatin1Char('/') + safe;
}
} // namespace

FileManager::FileManager(QObject* parent) : QObject(parent)
{
    qDebug().noquote().nospace() << "FileManager::FileManager"
                                 << " cache path:" << cacheFolder();
    g_instance.store(this);
}

FileManager::~FileManager()
{
    FileManager* self = this;
    g_instance.compare_exchange_strong(self, nullptr);
}

FileManager* FileManager::instance()
{
    return g_instance.load();
}

QString FileManager::safeFileName(const QString& name)
{
    QString path = name;
    const QUrl url(name);
    static const QStringList urlSchemes = {QStringLiteral("https"), QStringLiteral("http"),
                                           QStringLiteral("file")};
    if (url.isValid() && urlSchemes.contains(url.scheme(), Qt::CaseInsensitive))
        path = url.path();
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString last = path.section(QLatin1Char('/'), -1);
    QString safe;
    safe.reserve(last.size());
    for (const QChar c : qAsConst(last)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            continue;
        static const QString reserved = QStringLiteral("<>:\"|?*");
        safe.append(reserved.contains(c) ? QLatin1Char('_') : c);
    }
    safe = safe.trimmed();
    // Names of only dots mean "here" or "up" to some system or other.
    bool onlyDots = true;
    for (const QChar c : qAsConst(safe))
        onlyDots = onlyDots && c == QLatin1Char('.');
    if (onlyDots)
        return QString();
    return safe;
}

QString FileManager::cacheFolder()
{
    return firstLocation(QStandardPaths::CacheLocation);
}

QString FileManager::cacheFilePath(const QString& name)
{
    return inFolder(cacheFolder(), name);
}

QString FileManager::cachedFile(const QString& name)
{
    const QString path = cacheFilePath(name);
    return !path.isEmpty() && QFileInfo::exists(path) ? path : QString();
}

QString FileManager::dataFilePath(const QString& name)
{
    const QString folder = firstLocation(QStandardPaths::AppDataLocation);
    const QString path = inFolder(folder, name);
    if (!path.isEmpty())
        QDir().mkpath(folder);
    return path;
}

QString FileManager::downloadFolder()
{
    const QString folder = firstLocation(QStandardPaths::DocumentsLocation) + QLatin1Char('/') +
                           QCoreApplication::applicationName();
    QDir().mkpath(folder);
    return folder;
}

QString FileManager::makeTextFile(const QString& text)
{
    const QString folder = cacheFolder();
    QDir().mkpath(folder);
    const QString base = QCoreApplication::applicationName().remove(QLatin1Char(' ')) +
                         QLatin1Char('_') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    QFile file;
    for (int n = 0;; ++n) {
        const QString name =
            n == 0 ? base + QStringLiteral(".text") : base + QStringLiteral("(%1).text").arg(n);
        file.setFileName(folder + QLatin1Char('/') + name);
        if (file.exists())
            continue;
        // NewOnly: a file that another call made in the meantime is never overwritten; the
        // next number is tried instead.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        if (!file.exists()) {
            qWarning().noquote().nospace()
                << "FileManager::makeTextFile failed to open:" << file.fileName()
                << " error:" << file.errorString();
            return QString();
        }
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        qWarning().noquote().nospace()
            << "FileManager::makeTextFile failed to write:" << file.fileName()
            << " error:" << file.errorString();
        file.close();
        file.remove();
        return QString();
    }
    file.close();
    return file.fileName();
}
