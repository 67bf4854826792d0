#pragma once

#include <QRect>
#include <QString>
#include <QVariantMap>

// The user's settings file, "settings.ini" in the application's local data folder (INI, UTF-8):
// the idle lock, the toast display time, the alarm type, start with the system, the account for
// automatic login, the device id and the main window's geometry.
//
// Values are read once (and again by reload()) into memory; every change rewrites the whole file
// through a temporary file that is renamed over it only after it was read back intact, so a
// crash or a full disk mid-write leaves the previous file as it was. A file that cannot be read
// gives the defaults, and the next change replaces it. Keys this class does not know are kept.
class LocalSettings
{
public:
    static constexpr int kAutoLockOff = -1;
    static constexpr int kDefaultAlarmDisplayTime = 5;
    enum AlarmType
    {
        AlarmSound = 0,
        AlarmWindow = 1,
        AlarmSoundAndWindow = 2
    };

    static constexpr const char* kAutoLock = "Settings/AutoLock";
    static constexpr const char* kAlarmDisplayTime = "Settings/AlarmDisplayTime";
    static constexpr const char* kAlarmType = "Settings/AlarmType";
    static constexpr const char* kAutoRun = "Settings/AutoRun";
    static constexpr const char* kAutologinAccount = "Settings/AutologinAccount";
    static constexpr const char* kDeviceId = "Settings/DeviceID";
    static constexpr const char* kWindowGeometry = "Window/Geometry";

    // The application's local data folder (created when missing) + "/settings.ini".
    static QString defaultFilePath();

    // Reads `filePath` (the default file when empty).
    explicit LocalSettings(const QString& filePath = QString());

    QString filePath() const { return m_filePath; }
    // Reads the file again. False when it exists but cannot be read; the values are then the
    // defaults.
    bool reload();
    // Why the last read or write failed; empty after a success.
    QString errorString() const { return m_error; }

    // Minutes of idle time before the lock; kAutoLockOff (also for 0, negatives and non-numbers).
    int autoLock() const;
    // Seconds a toast stays; 5 for anything not above 0.
    int alarmDisplayTime() const;
    // AlarmType; AlarmSoundAndWindow for anything else.
    int alarmType() const;
    bool autoRun() const;
    QString autologinAccount() const;
    QString deviceId() const;
    // An empty rectangle when none was stored.
    QRect windowGeometry() const;

    // Each setter changes the value for this process and writes the file; false (with the reason
    // in errorString and a log line) when the file could not be written, which leaves the old
    // file untouched.
    bool setAutoLock(int minutes);
    bool setAlarmDisplayTime(int seconds);
    bool setAlarmType(int type);
    bool setAutoRun(bool on);
    bool setAutologinAccount(const QString& account);
    bool setDeviceId(const QString& deviceId);
    // A login's two values in one write.
    bool setLoginValues(const QString& deviceId, const QString& autologinAccount);
    bool setWindowGeometry(const QRect& geometry);
    // What the settings dialog reports: 0 idle lock minutes, 1 display time, 2 alarm type,
    // 3 start with the system (data 0 or not). False for any other type (nothing changes) or
    // when the file could not be written.
    bool applyChange(int updateType, int updateData);
    // After the account was removed: the four user settings and the device id to their defaults.
    bool resetForRemovedAccount();

private:
    bool write(const QVariantMap& changes);

    QString m_filePath;
    QVariantMap m_values;
    // The file was read or written with exactly m_values.
    bool m_fileHoldsValues = false;
    QString m_error;
};
