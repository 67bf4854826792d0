// The user's settings file on disk: what a stored file (or none, or a broken one) reads as, the
// settings dialog's changes read back by a new reader, account removal, and a write that fails
// half-way leaving the previous file whole.
#include "session/localsettings.h"

#include "common/testenv.h"

#include <QtTest>

#include <signal.h>
#include <sys/resource.h>

// Everything a reader of the file sees.
struct Values
{
    int autoLock = 0;
    int alarmDisplayTime = 0;
    int alarmType = 0;
    bool autoRun = false;
    QString account;
    QString deviceId;
    QRect geometry;
    bool operator==(const Values& o) const
    {
        return autoLock == o.autoLock && alarmDisplayTime == o.alarmDisplayTime &&
               alarmType == o.alarmType && autoRun == o.autoRun && account == o.account &&
               deviceId == o.deviceId && geometry == o.geometry;
    }
    static Values of(const LocalSettings& s)
    {
        return {s.autoLock(),         s.alarmDisplayTime(), s.alarmType(),     s.autoRun(),
                s.autologinAccount(), s.deviceId(),         s.windowGeometry()};
    }
};
Q_DECLARE_METATYPE(Values)

char* toString(const Values& v)
{
    return QTest::toString(
        QStringLiteral("autoLock=%1 displayTime=%2 alarmType=%3 autoRun=%4 account=\"%5\" "
                       "deviceId=\"%6\" geometry=%7,%8 %9x%10")
            .arg(v.autoLock)
            .arg(v.alarmDisplayTime)
            .arg(v.alarmType)
            .arg(v.autoRun)
            .arg(v.account, v.deviceId)
            .arg(v.geometry.x())
            .arg(v.geometry.y())
            .arg(v.geometry.width())
            .arg(v.geometry.height()));
}

namespace {
const Values kDefaults = {-1, 5, 2, true, QString(), QString(), QRect()};

// Files bigger than `bytes` cannot be written while it lives: a full disk without filling one.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit limit = {bytes, m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};

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

    void defaultPath()
    {
        QCOMPARE(LocalSettings::defaultFilePath(),
                 m_env.path(QStringLiteral("home/.local/share/PLOVEX(Chat)/settings.ini")));
        QVERIFY(QFileInfo(LocalSettings::defaultFilePath()).dir().exists());
    }

    void read_data()
    {
        QTest::addColumn<QString>(
            "writtenTo"); // the text goes there; the reader reads settings.ini
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
                          "AutologinAccount=user001\nDeviceID=\"q+/w==\"\n"
                          "[Window]\nGeometry=@Rect(10 20 300 400)\n")
            << true << Values{3, 7, 0, false, "user001", "q+/w==", QRect(10, 20, 300, 400)};
        QTest::newRow("written by account removal")
            << here
            << QByteArray("[Settings]\nAlarmDisplayTime=5\nAlarmType=2\nAutoLock=-1\n"
                          "AutoRun=true\nDeviceID=\n")
            << true << kDefaults;
        QTest::newRow("out of range")
            << here
            << QByteArray("[Settings]\nAutoLock=0\nAlarmDisplayTime=-2\nAlarmType=5\n"
                          "AutoRun=false\n")
            << true << Values{-1, 5, 2, false, {}, {}, {}};
        QTest::newRow("not numbers")
            << here << QByteArray("[Settings]\nAutoLock=abc\nAlarmDisplayTime=\nAlarmType=x\n")
            << true << kDefaults;
        QTest::newRow("korean account") << here
                                        << QByteArray("[Settings]\nAutologinAccount=\xea\xb9\x80"
                                                      "\xec\xb2\xa0\xec\x88\x98\n")
                                        << true << Values{-1, 5, 2, true, "김철수", {}, {}};
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
        QCOMPARE(settings.reload(), readable);
        QCOMPARE(settings.errorString().isEmpty(), readable);
    }

    void changes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("data");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<Values>("expected"); // read back by a new reader

        const Values before = {3, 7, 0, false, "user001", "dev", QRect(1, 2, 3, 4)};
        auto with = [&](auto member, auto value) {
            Values v = before;
            v.*member = value;
            return v;
        };
        QTest::newRow("lock after 10 minutes") << 0 << 10 << true << with(&Values::autoLock, 10);
        QTest::newRow("lock off") << 0 << -1 << true << with(&Values::autoLock, -1);
        QTest::newRow("display time") << 1 << 8 << true << with(&Values::alarmDisplayTime, 8);
        QTest::newRow("alarm window only") << 2 << 1 << true << with(&Values::alarmType, 1);
        QTest::newRow("autorun on") << 3 << 1 << true << with(&Values::autoRun, true);
        QTest::newRow("autorun, any non-zero") << 3 << 7 << true << with(&Values::autoRun, true);
        QTest::newRow("unknown type changes nothing") << 4 << 1 << false << before;
        QTest::newRow("negative type changes nothing") << -1 << 1 << false << before;
    }
    void changes()
    {
        QFETCH(int, type);
        QFETCH(int, data);
        QFETCH(bool, applied);
        QFETCH(Values, expected);

        // A key of someone else's survives every rewrite.
        QVERIFY(writeFile(m_path, "[Other]\nKept=\"a, b\"\n[Settings]\nAutoLock=3\n"));
        LocalSettings writer(m_path);
        QVERIFY(writer.setAlarmDisplayTime(7) && writer.setAlarmType(0) &&
                writer.setAutoRun(false) && writer.setAutologinAccount("user001") &&
                writer.setDeviceId("dev") && writer.setWindowGeometry(QRect(1, 2, 3, 4)));
        QCOMPARE(writer.applyChange(type, data), applied);
        const LocalSettings reader(m_path);
        QCOMPARE(Values::of(reader), expected);
        QCOMPARE(Values::of(writer), expected);
        QCOMPARE(QSettings(m_path, QSettings::IniFormat).value("Other/Kept").toString(),
                 QStringLiteral("a, b"));
    }

    void textsAndGeometryRoundTrip()
    {
        LocalSettings writer(m_path);
        QVERIFY(writer.setAutologinAccount(QStringLiteral("김 user;=\"x\\y,z")));
        QVERIFY(writer.setDeviceId(QStringLiteral("q+/w==")));
        QVERIFY(writer.setWindowGeometry(QRect(-20, 15, 640, 480)));
        const Values expected = {-1,
                                 5,
                                 2,
                                 true,
                                 QStringLiteral("김 user;=\"x\\y,z"),
                                 QStringLiteral("q+/w=="),
                                 QRect(-20, 15, 640, 480)};
        QCOMPARE(Values::of(LocalSettings(m_path)), expected);
    }

    void accountRemovalResets()
    {
        QVERIFY(writeFile(m_path, "[Settings]\nAutoLock=3\nAlarmDisplayTime=7\nAlarmType=0\n"
                                  "AutoRun=0\nAutologinAccount=user001\nDeviceID=dev\n"));
        LocalSettings settings(m_path);
        QVERIFY(settings.resetForRemovedAccount());
        // The automatic login's account is log off's to clear, not removal's.
        const Values expected = {-1, 5, 2, true, QStringLiteral("user001"), QString(), QRect()};
        QCOMPARE(Values::of(LocalSettings(m_path)), expected);
    }

    void brokenFileIsReplacedByTheNextChange()
    {
        QVERIFY(writeFile(m_path, "[Settings\nAutoLock=3\n"));
        LocalSettings settings(m_path);
        QVERIFY(settings.setAlarmType(1));
        const LocalSettings reader(m_path);
        QCOMPARE(reader.errorString(), QString());
        QCOMPARE(Values::of(reader), (Values{-1, 5, 1, true, {}, {}, {}}));
    }

    void failedWriteKeepsTheOldFile()
    {
        LocalSettings settings(m_path);
        QVERIFY(settings.setAutoLock(3) && settings.setAutologinAccount("user001"));
        const QByteArray before = readAll(m_path);
        bool written = true;
        {
            const FileSizeLimit limit(16);
            written = settings.setAutoLock(10);
        }
        QVERIFY(!written);
        QVERIFY(!settings.errorString().isEmpty());
        QCOMPARE(readAll(m_path), before);
        // No temporary file is left beside it.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList(QStringLiteral("settings.ini")));
        QCOMPARE(Values::of(LocalSettings(m_path)),
                 (Values{3, 5, 2, true, QStringLiteral("user001"), {}, {}}));
        // The running program follows the change although the file could not keep it.
        QCOMPARE(settings.autoLock(), 10);
    }

private:
    TestEnv m_env;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_MAIN(TestLocalSettings)
#include "tst_localsettings.moc"
