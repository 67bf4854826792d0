#include "session/localsettings.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {
// QSettings keeps parsed files in a process-wide cache that it refreshes only when a file's size
// or time changed, so every text is parsed from a fresh temporary file of its own.
bool parseIni(const QByteArray& bytes, QVariantMap* values, QString* error)
{
    QTemporaryFile copy;
    // size() asks the file system, so a short write cannot hide in the buffer.
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush() ||
        copy.size() != bytes.size()) {
        *error = QStringLiteral("cannot copy the settings: ") + copy.errorString();
        return false;
    }
    copy.close();
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    if (settings.status() != QSettings::NoError) {
        *error = QStringLiteral("not a settings file");
        return false;
    }
    values->clear();
    const QStringList keys = settings.allKeys();
    for (const QString& key : keys)
        values->insert(key, settings.value(key));
    return true;
}

bool readFile(const QString& path, QVariantMap* values, QString* error)
{
    values->clear();
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open ") + path + QStringLiteral(": ") +
                 (info.isFile() ? file.errorString() : QStringLiteral("not a file"));
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read ") + path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return parseIni(bytes, values, error);
}

// The INI text QSettings makes of the values.
bool renderIni(const QVariantMap& values, QByteArray* bytes, QString* error)
{
    QTemporaryFile scratch;
    if (!scratch.open()) {
        *error = QStringLiteral("no temporary file: ") + scratch.errorString();
        return false;
    }
    scratch.close();
    {
        QSettings settings(scratch.fileName(), QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        for (auto it = values.begin(); it != values.end(); ++it)
            settings.setValue(it.key(), it.value());
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            *error = QStringLiteral("cannot render the settings");
            return false;
        }
    }
    QFile rendered(scratch.fileName());
    if (!rendered.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the rendered settings: ") + rendered.errorString();
        return false;
    }
    *bytes = rendered.readAll();
    return true;
}

bool sameValues(const QVariantMap& a, const QVariantMap& b)
{
    if (a.keys() != b.keys())
        return false;
    for (auto it = a.begin(); it != a.end(); ++it) {
        const QVariant& other = b.value(it.key());
        const bool same = it.value().type() == QVariant::Rect || other.type() == QVariant::Rect
                              ? it.value().toRect() == other.toRect()
                              : it.value().toString() == other.toString();
        if (!same)
            return false;
    }
    return true;
}

int positiveOr(const QVariant& value, int fallback)
{
    bool ok = false;
    const int n = value.toString().toInt(&ok);
    return ok && n > 0 ? n : fallback;
}
} // namespace

QString LocalSettings::defaultFilePath()
{
    const QString folder =
        QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation).value(0);
    QDir().mkpath(folder);
    return folder + QStringLiteral("/settings.ini");
}

LocalSettings::LocalSettings(const QString& filePath)
    : m_filePath(filePath.isEmpty() ? defaultFilePath() : filePath)
{
    reload();
}

bool LocalSettings::reload()
{
    m_error.clear();
    m_fileHoldsValues = readFile(m_filePath, &m_values, &m_error);
    if (m_fileHoldsValues)
        return true;
    qWarning().noquote().nospace() << "LocalSettings::reload - defaults used, " << m_error;
    m_values.clear();
    return false;
}

int LocalSettings::autoLock() const
{
    return positiveOr(m_values.value(QLatin1String(kAutoLock)), kAutoLockOff);
}

int LocalSettings::alarmDisplayTime() const
{
    return positiveOr(m_values.value(QLatin1String(kAlarmDisplayTime)), kDefaultAlarmDisplayTime);
}

int LocalSettings::alarmType() const
{
    bool ok = false;
    const int type = m_values.value(QLatin1String(kAlarmType)).toString().toInt(&ok);
    return ok && type >= AlarmSound && type <= AlarmSoundAndWindow ? type : AlarmSoundAndWindow;
}

bool LocalSettings::autoRun() const
{
    return m_values.value(QLatin1String(kAutoRun), true).toBool();
}

QString LocalSettings::autologinAccount() const
{
    return m_values.value(QLatin1String(kAutologinAccount)).toString();
}

QString LocalSettings::deviceId() const
{
    return m_values.value(QLatin1String(kDeviceId)).toString();
}

QRect LocalSettings::windowGeometry() const
{
    return m_values.value(QLatin1String(kWindowGeometry)).toRect();
}

bool LocalSettings::setAutoLock(int minutes)
{
    return write({{QLatin1String(kAutoLock), minutes}});
}

bool LocalSettings::setAlarmDisplayTime(int seconds)
{
    return write({{QLatin1String(kAlarmDisplayTime), seconds}});
}

bool LocalSettings::setAlarmType(int type)
{
    return write({{QLatin1String(kAlarmType), type}});
}

bool LocalSettings::setAutoRun(bool on)
{
    return write({{QLatin1String(kAutoRun), on}});
}

bool LocalSettings::setAutologinAccount(const QString& account)
{
    return write({{QLatin1String(kAutologinAccount), account}});
}

bool LocalSettings::setDeviceId(const QString& deviceId)
{
    return write({{QLatin1String(kDeviceId), deviceId}});
}

bool LocalSettings::setLoginValues(const QString& deviceId, const QString& autologinAccount)
{
    return write({{QLatin1String(kDeviceId), deviceId},
                  {QLatin1String(kAutologinAccount), autologinAccount}});
}

bool LocalSettings::setWindowGeometry(const QRect& geometry)
{
    return write({{QLatin1String(kWindowGeometry), geometry}});
}

bool LocalSettings::applyChange(int updateType, int updateData)
{
    switch (updateType) {
    case 0:
        return setAutoLock(updateData);
    case 1:
        return setAlarmDisplayTime(updateData);
    case 2:
        return setAlarmType(updateData);
    case 3:
        // As 0 or 1, the way the settings dialog's change has always been stored.
        return write({{QLatin1String(kAutoRun), updateData != 0 ? 1 : 0}});
    default:
        return false;
    }
}

bool LocalSettings::resetForRemovedAccount()
{
    return write({{QLatin1String(kAlarmDisplayTime), kDefaultAlarmDisplayTime},
                  {QLatin1String(kAlarmType), int(AlarmSoundAndWindow)},
                  {QLatin1String(kAutoLock), kAutoLockOff},
                  {QLatin1String(kAutoRun), true},
                  {QLatin1String(kDeviceId), QString()}});
}

bool LocalSettings::write(const QVariantMap& changes)
{
    // A file that already holds every value is not written again: a write syncs three files to
    // the disk, and the callers (each login and unlock, each window moved) mostly store what is
    // there.
    QVariantMap after = m_values;
    for (auto it = changes.begin(); it != changes.end(); ++it)
        after.insert(it.key(), it.value());
    if (m_fileHoldsValues && sameValues(after, m_values)) {
        m_error.clear();
        return true;
    }
    // The running program follows the change even when the file cannot keep it.
    m_values = after;
    m_fileHoldsValues = false;
    m_error.clear();
    QByteArray bytes;
    QVariantMap readBack;
    // Only a text that reads back as exactly these values may replace the file: a short write
    // (full disk, size limit) can leave a truncated text without any error on the way.
    bool ok = renderIni(m_values, &bytes, &m_error) && parseIni(bytes, &readBack, &m_error);
    if (ok && !sameValues(m_values, readBack)) {
        m_error = QStringLiteral("the settings did not read back as written");
        ok = false;
    }
    if (ok) {
        QDir().mkpath(QFileInfo(m_filePath).absolutePath());
        QSaveFile file(m_filePath);
        ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
             file.write(bytes) == bytes.size() && file.commit();
        if (!ok)
            m_error = QStringLiteral("cannot write ") + m_filePath + QStringLiteral(": ") +
                      file.errorString();
    }
    if (!ok)
        qWarning().noquote().nospace() << "LocalSettings::write - " << m_error
                                       << " keys:" << changes.keys().join(QLatin1Char(','));
    m_fileHoldsValues = ok;
    return ok;
}
