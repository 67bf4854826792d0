// The user's settings file on disk: what a stored file (or none, or a broken one) reads as, a
// change read back by a new reader with others' keys kept, account removal, and a change that
// cannot be written: reported, with the previous file whole.
#include "session/localsettings.h"

#include "common/filesizelimit.h"
#include "common/testenv.h"
#include "common/typed.h"

#include <QtTest>

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

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
} // namespace
Q_DECLARE_METATYPE(Values)

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

    void read_data()
    {
        QTest::addColumn<QString>("writtenTo"); // the reader reads settings.ini
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<Values>("expected");
        const QString here = QStringLiteral("settings.ini");
        QTest::newRow("no file") << "elsewhere.ini" << QByteArray("[Settings]\nAutoLock=3\n")
                                 << true << kDefaults;
        QTest::newRow("empty file") << here << QByteArray() << true << kDefaults;
        QTest::newRow("every value")
            << here
            << QByteArray("[Settings]\nAutoLock=3\nAlarmDisplayTime=7\nAlarmType=0\nAutoRun=0\n"
                          "AutologinAccount=\xea\xb9\x80 user\nDeviceID=\"q+/w==\"\n"
                          "[Window]\nGeometry=@Rect(10 20 300 400)\n")
            << true << Values{3, 7, 0, false, "김 user", "q+/w==", QRect(10, 20, 300, 400)};
        QTest::newRow("out of range")
            << here << QByteArray("[Settings]\nAutoLock=0\nAlarmDisplayTime=-2\nAlarmType=5\n")
            << true << kDefaults;
        QTest::newRow("zero display time")
            << here << QByteArray("[Settings]\nAlarmDisplayTime=0\n") << true << kDefaults;
        QTest::newRow("not numbers")
            << here << QByteArray("[Settings]\nAutoLock=abc\nAlarmDisplayTime=\nAlarmType=x\n")
            << true << kDefaults;
        QTest::newRow("broken section header")
            << here << QByteArray("[Settings\nAutoLock=3\nAlarmType=1\n") << false << kDefaults;
        QTest::newRow("a folder in place of the file")
            << "settings.ini/inner.ini" << QByteArray("[Settings]\nAutoLock=3\n") << false
            << kDefaults;
    }
    void read()
    {
        QFETCH(QString, writtenTo);
        QFETCH(QByteArray, text);
        QFETCH(bool, readable);
        QFETCH(Values, expected);
        QVERIFY(writeFile(m_dir->filePath(writtenTo), text));
        LocalSettings settings(m_path);
        QCOMPARE(Values::of(settings), expected);
        QCOMPARE((QVector<bool>{settings.reload(), settings.errorString().isEmpty()}),
                 (QVector<bool>{readable, readable}));
    }

    // What the settings dialog reports, read back by a new reader; a key of someone else's
    // survives every rewrite.
    void changes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("data");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<Values>("expected");
        const Values before = {3, 7, 0, false, "user001", "dev", QRect(1, 2, 3, 4)};
        QTest::newRow("lock off") << 0 << -1 << true
                                  << Values{-1, 7, 0, false, "user001", "dev", QRect(1, 2, 3, 4)};
        QTest::newRow("display time")
            << 1 << 9 << true << Values{3, 9, 0, false, "user001", "dev", QRect(1, 2, 3, 4)};
        QTest::newRow("alarm type")
            << 2 << 1 << true << Values{3, 7, 1, false, "user001", "dev", QRect(1, 2, 3, 4)};
        QTest::newRow("autorun, any non-zero")
            << 3 << 7 << true << Values{3, 7, 0, true, "user001", "dev", QRect(1, 2, 3, 4)};
        QTest::newRow("unknown type changes nothing") << 4 << 1 << false << before;
        QTest::newRow("negative type changes nothing") << -1 << 1 << false << before;
    }
    void changes()
    {
        QFETCH(int, type);
        QFETCH(int, data);
        QFETCH(bool, applied);
        QFETCH(Values, expected);
        QVERIFY(writeFile(m_path, "[Other]\nKept=\"a, b\"\n[Settings]\nAutoLock=3\n"));
        LocalSettings writer(m_path);
        QVERIFY(writer.setAlarmDisplayTime(7) && writer.setAlarmType(0) &&
                writer.setAutoRun(false) && writer.setAutologinAccount("user001") &&
                writer.setDeviceId("dev") && writer.setWindowGeometry(QRect(1, 2, 3, 4)));
        QCOMPARE(writer.applyChange(type, data), applied);
        QCOMPARE(Values::of(LocalSettings(m_path)), expected);
        QCOMPARE(QSettings(m_path, QSettings::IniFormat).value("Other/Kept").toString(),
                 QStringLiteral("a, b"));
    }

    void textsAndGeometryRoundTrip()
    {
        const Values written = {-1,
                                5,
                                2,
                                true,
                                QStringLiteral("김 user;=\"x\\y,z"),
                                QStringLiteral("q+/w=="),
                                QRect(-20, 15, 640, 480)};
        LocalSettings writer(m_path);
        QVERIFY(writer.setAutologinAccount(written.account) &&
                writer.setDeviceId(written.deviceId) && writer.setWindowGeometry(written.geometry));
        QCOMPARE(Values::of(LocalSettings(m_path)), written);
    }

    // The automatic login's account is log off's to clear, not removal's.
    void accountRemovalResets()
    {
        QVERIFY(writeFile(m_path, "[Settings]\nAutoLock=3\nAlarmDisplayTime=7\nAlarmType=0\n"
                                  "AutoRun=0\nAutologinAccount=user001\nDeviceID=dev\n"));
        QVERIFY(LocalSettings(m_path).resetForRemovedAccount());
        QCOMPARE(Values::of(LocalSettings(m_path)),
                 (Values{-1, 5, 2, true, QStringLiteral("user001"), QString(), QRect()}));
    }

    void brokenFileIsReplacedByTheNextChange()
    {
        QVERIFY(writeFile(m_path, "[Settings\nAutoLock=3\n"));
        QVERIFY(LocalSettings(m_path).setAlarmType(1));
        const LocalSettings reader(m_path);
        QCOMPARE(reader.errorString(), QString());
        QCOMPARE(Values::of(reader), (Values{-1, 5, 1, true, {}, {}, {}}));
    }

    // Reported, the previous file whole and no temporary file beside it; the running program
    // follows the change although the file could not keep it.
    void failedWriteKeepsTheOldFile()
    {
        LocalSettings settings(m_path);
        QVERIFY(settings.setAutoLock(3) && settings.setAutologinAccount("user001"));
        const QByteArray before = readAll(m_path);
        bool written = true;
        {
            const FileSizeLimit limit(16);
            written = settings.applyChange(0, 10);
        }
        QCOMPARE((QVector<bool>{written, settings.errorString().isEmpty()}),
                 (QVector<bool>{false, false}));
        QCOMPARE(readAll(m_path), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList(QStringLiteral("settings.ini")));
        QCOMPARE(settings.autoLock(), 10);
    }

private:
    TestEnv m_env;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_MAIN(TestLocalSettings)
#include "tst_localsettings.moc"
