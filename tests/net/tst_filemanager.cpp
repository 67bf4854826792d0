// Where files go: names from servers and peers reduced to a safe last component that stays in
// its folder, the cache, data and download folders in a private home, the long-text file rule
// and the limits.
#include "common/testenv.h"
#include "net/filemanager.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <QtTest>

class TestFileManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void safeFileName_data();
    void safeFileName();
    void cachedFileOnlyWhenThere();
    void downloadFolder();
    void instanceAndLimits();
    void textFilesWithinOneSecond();
    void textFileThatCannotBeWritten();

private:
    TestEnv m_env;
};

void TestFileManager::initTestCase()
{
    QVERIFY(m_env.isValid());
    m_env.applyToCurrentProcess();
    QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
    QVERIFY(FileManager::cacheFolder().startsWith(m_env.root()));
}

void TestFileManager::safeFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("safe");
    const QList<QPair<QString, QString>> rows = {
        {"report.pdf", "report.pdf"},
        {"https://chat.example.org/files/a%20b.png?v=2#top", "a b.png"},
        {"../../x", "x"},
        {"..\\x", "x"},
        {"C:\\Users\\kim\\file.txt", "file.txt"},
        {"C:x.txt", "C_x.txt"},
        {"a<b>c:d\"e|f?g*h", "a_b_c_d_e_f_g_h"},
        {"na\tme\n\x01.txt", "name.txt"},
        {QString::fromUtf8("회의록 (최종).txt"), QString::fromUtf8("회의록 (최종).txt")},
        {"  spaced.txt  ", "spaced.txt"},
        {".profile", ".profile"},
        {"", ""},
        {"..", ""},
        {"...", ""},
        {"/files/", ""},
        {"/files/..", ""},
        {" \t ", ""},
    };
    int n = 0;
    for (const auto& row : rows)
        QTest::addRow("%d %s", ++n, qPrintable(row.first.simplified())) << row.first << row.second;
}

void TestFileManager::safeFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, safe);
    QCOMPARE(FileManager::safeFileName(name), safe);
    // Whatever the name, its cache and data paths stay directly in their folders.
    const QString cache = FileManager::cacheFilePath(name);
    const QString data = FileManager::dataFilePath(name);
    if (safe.isEmpty()) {
        QCOMPARE(cache, QString());
        QCOMPARE(data, QString());
        return;
    }
    QCOMPARE(cache, QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + '/' + safe);
    QCOMPARE(data, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + '/' + safe);
    QVERIFY(QFileInfo(QFileInfo(data).absolutePath()).isDir());
}

void TestFileManager::cachedFileOnlyWhenThere()
{
    const QString url = QStringLiteral("/pictures/u7_1_t.png");
    const QString path = FileManager::cacheFilePath(url);
    QFile::remove(path);
    QCOMPARE(FileManager::cachedFile(url), QString());
    QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(FileManager::cachedFile(url), path);
    QCOMPARE(FileManager::cachedFile(QStringLiteral("https://other.example/x/u7_1_t.png")), path);
    QCOMPARE(FileManager::cachedFile(QString()), QString());
    QCOMPARE(FileManager::cachedFile(QStringLiteral("/pictures/")), QString());
}

void TestFileManager::downloadFolder()
{
    const QString expected =
        QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation).value(0) +
        QStringLiteral("/PLOVEX(Chat)");
    QDir(expected).removeRecursively();
    QCOMPARE(FileManager::downloadFolder(), expected);
    QVERIFY(QFileInfo(expected).isDir());
    QVERIFY(expected.startsWith(m_env.root()));
}

void TestFileManager::instanceAndLimits()
{
    QCOMPARE(FileManager::instance(), nullptr);
    {
        FileManager manager;
        QCOMPARE(FileManager::instance(), &manager);
        QCOMPARE(manager.textLimit(), 250);
        QCOMPARE(manager.fileSizeLimit(), qint64(52428800));
    }
    QCOMPARE(FileManager::instance(), nullptr);
}

void TestFileManager::textFilesWithinOneSecond()
{
    const QString text = QString::fromUtf8("긴 메시지 ") + QString(300, QLatin1Char('x'));
    // Three files made within one second of the clock; tried again when a second boundary falls
    // between them.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const QString before =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
        const QStringList paths = {FileManager::makeTextFile(text), FileManager::makeTextFile(text),
                                   FileManager::makeTextFile(text)};
        const QString after =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
        for (const QString& path : paths)
            QVERIFY(!path.isEmpty());
        if (before != after) {
            for (const QString& path : paths)
                QFile::remove(path);
            continue;
        }
        const QString base = FileManager::cacheFolder() + QStringLiteral("/PLOVEX(Chat)_") + before;
        QCOMPARE(paths,
                 (QStringList{base + QStringLiteral(".text"), base + QStringLiteral("(1).text"),
                              base + QStringLiteral("(2).text")}));
        for (const QString& path : paths) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(file.readAll()), text);
        }
        return;
    }
    QFAIL("no three calls within one second");
}

void TestFileManager::textFileThatCannotBeWritten()
{
    // A file where the cache folder should be: nothing can be made inside it.
    const QString folder = FileManager::cacheFolder();
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QDir().mkpath(QFileInfo(folder).absolutePath()));
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QCOMPARE(FileManager::makeTextFile(QStringLiteral("hello")), QString());
    QVERIFY(QFile::remove(folder));
}

QTEST_GUILESS_MAIN(TestFileManager)
#include "tst_filemanager.moc"
