#include "net/netsparefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>
#include <QTemporaryFile>

namespace {

QMutex g_mutex;
// Guarded by g_mutex. The spares are those of one folder: preparing another (the cache folder
// of another home) forgets them.
QStringList g_spares;
QString g_folder;

const QString kPattern = QStringLiteral(".spare-");

QString take()
{
    QMutexLocker lock(&g_mutex);
    return g_spares.isEmpty() ? QString() : g_spares.takeLast();
}

} // namespace

int NetSpareFiles::prepare(const QString& folder, int count)
{
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")))
        return ready();
    const QString path = dir.absolutePath();
    QStringList found;
    for (const QString& name :
         dir.entryList({kPattern + QLatin1Char('*')}, QDir::Files | QDir::Hidden))
        found << dir.absoluteFilePath(name);
    {
        QMutexLocker lock(&g_mutex);
        if (g_folder != path) {
            g_folder = path;
            g_spares.clear();
        }
        for (const QString& file : qAsConst(found)) {
            if (!g_spares.contains(file))
                g_spares << file;
        }
        if (g_spares.size() >= count)
            return g_spares.size();
        count -= g_spares.size();
    }
    QStringList made;
    for (int i = 0; i < count; ++i) {
        QTemporaryFile spare(dir.absoluteFilePath(kPattern + QStringLiteral("XXXXXX")));
        spare.setAutoRemove(false);
        if (!spare.open())
            break;
        made << spare.fileName();
    }
    QMutexLocker lock(&g_mutex);
    if (g_folder == path)
        g_spares << made;
    return g_spares.size();
}

bool NetSpareFiles::write(const QString& target, const QByteArray& bytes)
{
    const QString spare = take();
    if (spare.isEmpty())
        return false;
    QFile file(spare);
    // Not truncated at its open: ext4 writes a file truncated to nothing out to the disk when it
    // is closed, on the closing thread. A spare is empty unless a run was cut short writing it.
    const bool written = file.open(QIODevice::ReadWrite) && (file.size() == 0 || file.resize(0)) &&
                         file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (written && file.rename(target))
        return true;
    QFile::remove(spare);
    return written && QFileInfo::exists(target);
}

int NetSpareFiles::ready()
{
    QMutexLocker lock(&g_mutex);
    return g_spares.size();
}
