// Where files go: names from servers and peers reduced to a safe last component that stays in
// its folder, the cache, data and download folders in a private home, the long-text file rule
// and the one instance.
#include "common/testenv.h"
#include "net/filemanager.h"

#include <QtTest>

class TestFileManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void safeFileName_data();
    void safeFileName();
    void foldersAndFiles();

private:
    TestEnv m_env;
};

void TestFileManager::initTestCase()
{
    m_env.applyToCurrentProcess();
    QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
}

void TestFileManager::safeFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("safe");
    auto row = [](const char* tag, const QString& name, const QString& safe) {
        QTest::newRow(tag) << name << safe;
    };
    row("plain", "report.pdf", "report.pdf");
    row("url", "https://chat.example.org/files/a%20b.png?v=2#top", "a b.png");
    row("climbing", "../../x", "x");
    row("windows path", "C:\\Users\\kim\\..\\file.txt", "file.txt");
    row("drive", "C:x.txt", "C_x.txt");
    row("reserved", "a<b>c:d\"e|f?g*h", "a_b_c_d_e_f_g_h");
    row("controls", "na\tme\n\x01.txt", "name.txt");
    row("hangul", "회의록 (최종).txt", "회의록 (최종).txt");
    row("empty", "", "");
    row("dots", "...", "");
    row("url of dots", "/files/..", "");
    row("blank", " \t ", "");
}

void TestFileManager::safeFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, safe);
    QCOMPARE(FileManager::safeFileName(name), safe);
    // Whatever the name, its cache and data paths stay directly in their folders.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCOMPARE(FileManager::cacheFilePath(name),
             safe.isEmpty() ? QString() : FileManager::cacheFolder() + '/' + safe);
    QCOMPARE(FileManager::dataFilePath(name), safe.isEmpty() ? QString() : data + '/' + safe);
    QVERIFY(safe.isEmpty() || QFileInfo(data).isDir());
}

void TestFileManager::foldersAndFiles()
{
    // The download folder is made when asked for; every folder is in the private home.
    const QString downloads =
        QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation).value(0) +
        QStringLiteral("/PLOVEX(Chat)");
    QCOMPARE(FileManager::downloadFolder(), downloads);
    QVERIFY(QFileInfo(downloads).isDir());
    QVERIFY(downloads.startsWith(m_env.root()) &&
            FileManager::cacheFolder().startsWith(m_env.root()));

    // The instance lives as long as the manager.
    auto manager = std::make_unique<FileManager>();
    QCOMPARE(FileManager::instance(), manager.get());
    manager.reset();
    QCOMPARE(FileManager::instance(), nullptr);

    const QString text = QString::fromUtf8("긴 메시지 ") + QString(300, QLatin1Char('x'));
    // Three files made within one second of the clock never overwrite each other; tried again
    // when a second boundary falls between them.
    auto now = [] { return QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss"); };
    QString second;
    QStringList paths;
    for (int attempt = 0; attempt < 10 && second.isEmpty(); ++attempt) {
        const QString before = now();
        paths = QStringList{FileManager::makeTextFile(text), FileManager::makeTextFile(text),
                            FileManager::makeTextFile(text)};
        if (now() == before)
            second = before;
    }
    const QString base = FileManager::cacheFolder() + QStringLiteral("/PLOVEX(Chat)_") + second;
    QCOMPARE(paths, QStringList({base + ".text", base + "(1).text", base + "(2).text"}));
    QFile file(paths.last());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), text);

    // A file where the cache folder should be: nothing can be made inside it.
    QVERIFY(QDir(FileManager::cacheFolder()).removeRecursively());
    QFile blocker(FileManager::cacheFolder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QCOMPARE(FileManager::makeTextFile(QStringLiteral("hello")), QString());
    QVERIFY(blocker.remove());
}

QTEST_GUILESS_MAIN(TestFileManager)
#include "tst_filemanager.moc"
