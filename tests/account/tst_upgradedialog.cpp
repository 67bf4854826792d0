// The update download against the reference server over real TLS with its own CA: what ends in
// the cache folder, what the user is told and whether the dialog accepts, for a whole download,
// one without a size, HTTP errors, a server that stalls, links that are refused before any
// request, and a target that cannot be written.
#include "account/upgradedialog.h"

#include "common/devserver.h"
#include "common/testenv.h"
#include "net/filemanager.h"
#include "net/serverconfig.h"
#include "widgets/mtmessagedialog.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <signal.h>
#include <sys/resource.h>

// What the user saw and what the dialog left behind.
struct Outcome
{
    int result = -1;     // of exec()
    QStringList boxes;   // first line of each message box, in order
    QStringList cache;   // the cache folder's entries afterwards
    QByteArray fileHash; // of downloadFilePath(), empty when it is not a readable file
    int requests = 0;    // that reached the server's /download
    bool operator==(const Outcome& o) const
    {
        return result == o.result && boxes == o.boxes && cache == o.cache &&
               fileHash == o.fileHash && requests == o.requests;
    }
};

char* toString(const Outcome& o)
{
    return QTest::toString(QStringLiteral("result=%1 boxes=[%2] cache=[%3] file=%4 requests=%5")
                               .arg(o.result)
                               .arg(o.boxes.join(QStringLiteral("; ")),
                                    o.cache.join(QStringLiteral("; ")),
                                    QString::fromLatin1(o.fileHash))
                               .arg(o.requests));
}
Q_DECLARE_METATYPE(Outcome)

namespace {
// The reference server's update package: a first line naming it, then the bytes
// (i * 31 + 7) & 0xff repeated, `size` bytes in all (the line plus 64 KiB by default).
QByteArray package(const QString& name, int size = -1)
{
    QByteArray bytes = "VeltriTalk update package " + name.toUtf8() + '\n';
    const int total = size < 0 ? bytes.size() + 64 * 1024 : size;
    for (int i = 0; bytes.size() < total; ++i)
        bytes.append(char((i * 31 + 7) & 0xff));
    return bytes.left(total);
}

QByteArray sha(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16);
}

// Answers every message box that comes up with OK and keeps its text.
class BoxAnswerer : public QObject
{
public:
    BoxAnswerer()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<MtMessageDialog*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            m_texts << box->text();
            box->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        m_poll.start(10);
    }
    QStringList texts() const { return m_texts; }
    QStringList firstLines() const
    {
        QStringList lines;
        for (const QString& text : m_texts)
            lines << text.section(QLatin1Char('\n'), 0, 0);
        return lines;
    }

private:
    QTimer m_poll;
    QStringList m_texts;
};

// Files cannot grow beyond `bytes` while it lives (a full disk without filling one); -1: no limit.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes)
    {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit limit = {bytes < 0 ? m_old.rlim_cur : rlim_t(bytes), m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};

// Presses Cancel once the download has made progress.
class CancelOnProgress : public QObject
{
public:
    explicit CancelOnProgress(QDialog* dialog)
    {
        connect(&m_poll, &QTimer::timeout, this, [this, dialog] {
            auto* bar = dialog->findChild<QProgressBar*>(QStringLiteral("progressBar"));
            if (bar->value() <= 0)
                return;
            m_poll.stop();
            m_seen = bar->value();
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
        });
        m_poll.start(10);
    }
    int progressSeen() const { return m_seen; }

private:
    QTimer m_poll;
    int m_seen = 0;
};

QStringList cacheEntries()
{
    return QDir(FileManager::cacheFolder())
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System);
}
} // namespace

class TestUpgradeDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_config = ServerConfig::fromFile(m_server.clientIni());
    }
    void init()
    {
        QDir(FileManager::cacheFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
        QVERIFY(m_server.setFault({{"mode", "off"}}));
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "https://h/download/Setup-1047.exe"
                               << "Setup-1047.exe";
        QTest::newRow("trailing slash") << "https://h/download/Setup-1047.exe/"
                                        << "Setup-1047.exe";
        QTest::newRow("query and fragment") << "https://h/d/Setup.exe?v=2&x=/y#top"
                                            << "Setup.exe";
        QTest::newRow("backslashes") << "https://h/d/..\\..\\evil.exe"
                                     << "evil.exe";
        QTest::newRow("encoded slash") << "https://h/d/..%2F..%2Fevil.exe"
                                       << "evil.exe";
        QTest::newRow("reserved characters") << "https://h/d/a:b*c.exe"
                                             << "a_b_c.exe";
        QTest::newRow("dots") << "https://h/download/.."
                              << "";
        QTest::newRow("encoded dots") << "https://h/download/%2E%2E"
                                      << "";
        QTest::newRow("no path") << "https://h/"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fileNames()
    {
        QFETCH(QString, link);
        QFETCH(QString, name);
        QCOMPARE(UpgradeDialog::fileNameFor(link), name);
    }

    void download_data()
    {
        QTest::addColumn<QString>("link");        // %1: the server's REST port
        QTest::addColumn<QJsonObject>("version"); // the package the server offers
        QTest::addColumn<QJsonObject>("fault");   // for the server's served paths
        QTest::addColumn<QString>("folder");      // made in the cache folder beforehand
        QTest::addColumn<int>("stallMsec");
        QTest::addColumn<qint64>("fileLimit"); // bytes a file may have meanwhile; -1: any
        QTest::addColumn<QString>("caFile");   // "%ca": the one the configuration names
        QTest::addColumn<Outcome>("expected"); // "%hash": the package's, "%name": the file's

        const QString link =
            QStringLiteral("https://localhost:%1/download/VeltriTalk-Setup-1047.exe");
        const QStringList file = {QStringLiteral("VeltriTalk-Setup-1047.exe")};
        const QJsonObject version = {{"minVersion", 1047}};
        const QJsonObject off = {{"mode", "off"}};
        const int patient = UpgradeDialog::kStallMsec;
        const QString error = QStringLiteral("Download error");
        const QString stalled =
            QStringLiteral("The download stopped: the server sent nothing more.");
        const QString none = QStringLiteral("."); // the cache folder itself

        QTest::newRow("whole package")
            << link << version << off << none << patient << qint64(-1) << QStringLiteral("%ca")
            << Outcome{1, {"Completed"}, file, "%hash", 1};
        QTest::newRow("chunked without a size, slowly")
            << link
            << QJsonObject{{"minVersion", 1047},
                           {"size", 300000},
                           {"chunked", true},
                           {"bytesPerSecond", 1000000}}
            << off << none << patient << qint64(-1) << QStringLiteral("%ca")
            << Outcome{1, {"Completed"}, file, "%hash", 1};
        QTest::newRow("not on the server: error, then finished")
            << QStringLiteral("https://localhost:%1/download/no%20such%20file.exe") << version
            << off << none << patient << qint64(-1) << QStringLiteral("%ca")
            << Outcome{0, {error}, {}, {}, 1};
        QTest::newRow("server error with a body")
            << link << version
            << QJsonObject{{"mode", "error"}, {"status", 500}, {"path", "/download"}} << none
            << patient << qint64(-1) << QStringLiteral("%ca") << Outcome{0, {error}, {}, {}, 1};
        QTest::newRow("stalls after the first bytes")
            << link << version
            << QJsonObject{{"mode", "stall"}, {"bytes", 1000}, {"path", "/download"}} << none << 500
            << qint64(-1) << QStringLiteral("%ca") << Outcome{0, {stalled}, {}, {}, 1};
        QTest::newRow("no answer at all")
            << link << version << QJsonObject{{"mode", "hang"}, {"path", "/download"}} << none
            << 500 << qint64(-1) << QStringLiteral("%ca") << Outcome{0, {stalled}, {}, {}, 1};
        QTest::newRow("disk full midway")
            << link << version << off << none << patient << qint64(20000) << QStringLiteral("%ca")
            << Outcome{0, {"The update cannot be saved to %path:"}, {}, {}, 1};
        QTest::newRow("server not trusted without the organisation's CA")
            << link << version << off << none << patient << qint64(-1) << QString()
            << Outcome{0, {error}, {}, {}, 0};
        QTest::newRow("plain http link")
            << QStringLiteral("http://localhost:%1/download/VeltriTalk-Setup-1047.exe") << version
            << off << none << patient << qint64(-1) << QStringLiteral("%ca")
            << Outcome{0, {"The update link is not a secure address:"}, {}, {}};
        QTest::newRow("no file name")
            << QStringLiteral("https://localhost:%1/download/..") << version << off << none
            << patient << qint64(-1) << QStringLiteral("%ca")
            << Outcome{0, {"No filename on update url"}, {}, {}};
        QTest::newRow("a folder where the file goes")
            << link << version << off << file.first() << patient << qint64(-1)
            << QStringLiteral("%ca")
            << Outcome{0, {"The update cannot be saved to %path:"}, file, {}};
    }
    void download()
    {
        QFETCH(QString, link);
        QFETCH(QJsonObject, version);
        QFETCH(QJsonObject, fault);
        QFETCH(QString, folder);
        QFETCH(int, stallMsec);
        QFETCH(qint64, fileLimit);
        QFETCH(QString, caFile);
        QFETCH(Outcome, expected);

        link = link.arg(m_server.restPort());
        const QString name = UpgradeDialog::fileNameFor(link);
        QCOMPARE(
            m_server.control("POST", QStringLiteral("/control/version"), version)["minVersion"],
            QJsonValue(1047));
        QVERIFY(m_server.setFault(fault));
        QVERIFY(QDir(FileManager::cacheFolder()).mkpath(folder));
        const qint64 since = m_server.lastRequestSeq();

        BoxAnswerer answerer;
        UpgradeDialog dialog(link, caFile.replace(QStringLiteral("%ca"), m_config.caFile()));
        dialog.setStallTimeout(stallMsec);
        Outcome got;
        {
            const FileSizeLimit limit(fileLimit);
            got.result = dialog.exec();
        }
        got.boxes = answerer.firstLines();
        got.cache = cacheEntries();
        QFile file(dialog.downloadFilePath());
        got.fileHash = file.open(QIODevice::ReadOnly) ? sha(file.readAll()) : QByteArray();
        got.requests = m_server.requests(QStringLiteral("/download"), since).size();

        const QString path = QDir::toNativeSeparators(FileManager::cacheFilePath(name));
        expected.boxes.replaceInStrings(QStringLiteral("%path"), path);
        expected.fileHash.replace("%hash", sha(package(name, version["size"].toInt(-1))));
        QCOMPARE(got, expected);
        // Released before the next row, so that held requests do not pile up.
        QVERIFY(m_server.setFault({{"mode", "off"}}));
    }

    void cancelMidway()
    {
        const QJsonObject version = {
            {"minVersion", 1047}, {"size", 4000000}, {"bytesPerSecond", 400000}};
        QVERIFY(m_server.control("POST", QStringLiteral("/control/version"), version).isObject());
        BoxAnswerer answerer;
        UpgradeDialog dialog(
            QStringLiteral("https://localhost:%1/download/VeltriTalk-Setup-1047.exe")
                .arg(m_server.restPort()),
            m_config.caFile());
        CancelOnProgress canceller(&dialog);
        const int result = dialog.exec();
        QCOMPARE(QVariantList({result, dialog.errorString(), canceller.progressSeen() > 0}),
                 QVariantList({0, "Cancelled", true}));
        QCOMPARE(answerer.texts(), QStringList());
        QCOMPARE(cacheEntries(), QStringList());
    }

    void startFailureIsShown_data()
    {
        QTest::addColumn<QString>("file"); // in the cache folder; "" leaves it missing
        QTest::addColumn<int>("error");    // the desktop's answer, as the shell's number
        // The offscreen platform opens no documents.
        QTest::newRow("the desktop cannot open it") << "VeltriTalk-Setup-1047.exe" << 31;
        QTest::newRow("the file is gone") << "" << 2;
    }
    void startFailureIsShown()
    {
        QFETCH(QString, file);
        QFETCH(int, error);
        const QString path =
            FileManager::cacheFilePath(QStringLiteral("VeltriTalk-Setup-1047.exe"));
        QFile(FileManager::cacheFilePath(file)).open(QIODevice::WriteOnly);
        BoxAnswerer answerer;
        const bool started = UpgradeDialog::startInstaller(nullptr, path);
        QCOMPARE(started, false);
        // The user learns where the installer is, to start it by hand; the program goes on.
        QCOMPARE(answerer.texts(),
                 QStringList(QStringLiteral("The update was downloaded but could not be started "
                                            "(error %1).\nStart it yourself:\n%2")
                                 .arg(error)
                                 .arg(QDir::toNativeSeparators(path))));
    }

private:
    TestEnv m_env;
    DevServer m_server;
    ServerConfig m_config;
};

QTEST_MAIN(TestUpgradeDialog)
#include "tst_upgradedialog.moc"
