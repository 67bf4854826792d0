// The settings file on disk: changes read back, removal, and a write that cannot complete.
#include "session/localsettings.h"

#include "common/filesizelimit.h"
#include "common/testenv.h"
#include "common/typed.h"

#include <QtTest>

#include <functional>

namespace {
// Everything a reader of the file sees.
struct Values
{
    int autoLock = -1;
    int alarmDisplayTime = 5;
    int alarmType = 2;
    bool autoRun = true;
    QString account;
    QString deviceId;
    QRect geometry;
    MT_TYPED(Values, autoLock, alarmDisplayTime, alarmType, autoRun, account, deviceId, geometry)
    static Values of(const LocalSettings& s)
    {
        return {s.autoLock(),         s.alarmDisplayTime(), s.alarmType(),     s.autoRun(),
                s.autologinAccount(), s.deviceId(),         s.windowGeometry()};
    }
};
const Values kDefaults;
using Change = std::function<bool(LocalSettings&)>;

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
} // namespace
Q_DECLARE_METATYPE(Values)
Q_DECLARE_METATYPE(Change)

class TestLocalSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>(m_env.path(QStringLiteral("settings-XXXXXX")));
        m_path = m_dir->filePath(QStringLiteral("settings.ini"));
    }

    // A change on a stored file read back by a new reader; someone else's key survives.
    void changes_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Change>("change");
        QTest::addColumn<Values>("expected");
        QTest::addColumn<QString>("kept"); // the other key
        const QByteArray stored = "[Other]\nKept=\"a, b\"\n[Settings]\nAutoLock=3\n"
                                  "AlarmDisplayTime=7\nAlarmType=0\nAutoRun=0\n"
                                  "AutologinAccount=user001\nDeviceID=dev\n"
                                  "[Window]\nGeometry=@Rect(1 2 3 4)\n";
        const QRect place(1, 2, 3, 4);
        QTest::newRow("autorun, any non-zero")
            << stored << Change([](LocalSettings& s) { return s.applyChange(3, 7); })
            << Values{3, 7, 0, true, "user001", "dev", place} << "a, b";
        // The automatic login's account is log off's to clear, not removal's.
        QTest::newRow("account removal")
            << stored << Change([](LocalSettings& s) { return s.resetForRemovedAccount(); })
            << Values{-1, 5, 2, true, "user001", QString(), place} << "a, b";
        const Values texts{-1, 5, 2, true, "김 user;=\"x\\y,z", "q+/w==", QRect(-20, 15, 640, 480)};
        QTest::newRow("texts and a place off the origin")
            << QByteArray("[Other]\nKept=\"a, b\"\n")
            << Change([account = texts.account, deviceId = texts.deviceId,
                       geometry = texts.geometry](LocalSettings& s) {
                   return s.setAutologinAccount(account) && s.setDeviceId(deviceId) &&
                          s.setWindowGeometry(geometry);
               })
            << texts << "a, b";
        QTest::newRow("values out of range read as defaults")
            << QByteArray(
                   "[Other]\nKept=1\n[Settings]\nAutoLock=0\nAlarmDisplayTime=-2\nAlarmType=5\n")
            << Change([](LocalSettings& s) { return s.setAutoRun(false); })
            << Values{-1, 5, 2, false, {}, {}, {}} << "1";
        QTest::newRow("a broken file is replaced")
            << QByteArray("[Other]\nKept=1\n[Settings\nAutoLock=3\n")
            << Change([](LocalSettings& s) { return s.setAlarmType(1); })
            << Values{-1, 5, 1, true, {}, {}, {}} << QString();
    }
    void changes()
    {
        QFETCH(QByteArray, text);
        QFETCH(Change, change);
        QFETCH(Values, expected);
        QFETCH(QString, kept);
        QVERIFY(writeFile(m_path, text));
        LocalSettings writer(m_path);
        QVERIFY(change(writer));
        const LocalSettings reader(m_path);
        QCOMPARE(Values::of(reader), expected);
        QCOMPARE(
            (QStringList{reader.errorString(),
                         QSettings(m_path, QSettings::IniFormat).value("Other/Kept").toString()}),
            (QStringList{QString(), kept}));
    }

    // Reported, the old file whole, no temporary beside it; the program still follows the change.
    void failedWriteKeepsTheOldFile()
    {
        LocalSettings settings(m_path);
        QVERIFY(settings.setAutoLock(3) && settings.setAutologinAccount("user001"));
        const QByteArray before = TestEnv::contents(m_path);
        bool written = true;
        {
            const FileSizeLimit limit(16);
            written = settings.applyChange(0, 10);
        }
        QCOMPARE((QVector<bool>{written, settings.errorString().isEmpty()}),
                 (QVector<bool>{false, false}));
        QCOMPARE(TestEnv::contents(m_path), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList(QStringLiteral("settings.ini")));
        QCOMPARE(settings.autoLock(), 10);
        // The value the running program already holds is written once the file can take it.
        QVERIFY(settings.applyChange(0, 10));
        QCOMPARE(LocalSettings(m_path).autoLock(), 10);
    }

    // A file that already holds the value is left as it is: each login stores the account and
    // the device id again. (A value that differs is written: every change above is read back.)
    void sameValueNotWrittenAgain()
    {
        LocalSettings settings(m_path);
        QVERIFY(settings.setAutologinAccount(QStringLiteral("user001")));
        const QByteArray marked = TestEnv::contents(m_path) + "; marked by the test\n";
        QVERIFY(writeFile(m_path, marked));
        QVERIFY(settings.setAutologinAccount(QStringLiteral("user001")));
        QCOMPARE(TestEnv::contents(m_path), marked);
    }

private:
    TestEnv m_env;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_MAIN(TestLocalSettings)
#include "tst_localsettings.moc"
