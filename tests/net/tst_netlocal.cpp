#include "common/testenv.h"
#include "common/typed.h"
#include "net/filemanager.h"
#include "net/netdecodedpictures.h"
#include "net/netsparefiles.h"

#include <QtTest>

// A write through the spare files: what it answered, what the target holds, and how many spares
// are ready and how many files their folder holds afterwards.
struct SpareWrite
{
    bool written = false;
    QByteArray target;
    int ready = 0, inFolder = 0;
    MT_TYPED(SpareWrite, written, target, ready, inFolder)
};
Q_DECLARE_METATYPE(SpareWrite)

// Two takes of one decoded picture: whether each found it.
struct DecodedTakes
{
    bool first = false, again = false;
    MT_TYPED(DecodedTakes, first, again)
};
Q_DECLARE_METATYPE(DecodedTakes)

class TestNetLocal : public QObject
{
    Q_OBJECT
    TestEnv m_env;

    static QByteArray pngBytes()
    {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        image.save(&buffer, "PNG");
        return bytes;
    }

    static SpareWrite writeThroughSpare(const QString& folder, const QString& target)
    {
        const bool written = NetSpareFiles::write(target, "picture");
        return {written, TestEnv::contents(target), NetSpareFiles::ready(),
                int(QDir(folder).entryList(QDir::Files | QDir::Hidden).size())};
    }

    static void fillFiles(const QString& folder, const QByteArray& bytes)
    {
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
    }

private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
    }

    void safeFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("safe");
        auto row = [](const char* tag, const QString& name, const QString& safe) {
            QTest::newRow(tag) << name << safe;
        };
        row("url", "https://chat.example.org/files/a%20b.png?v=2#top", "a b.png");
        row("climbing", "../../x", "x");
        row("windows path", "C:\\Users\\kim\\..\\file.txt", "file.txt");
        row("reserved", "a<b>c:d\"e|f?g*h", "a_b_c_d_e_f_g_h");
        row("controls", "na\tme\n\x01.txt", "name.txt");
        row("hangul", "회의록 (최종).txt", "회의록 (최종).txt");
        row("dots", "...", "");
        row("blank", " \t ", "");
    }

    void safeFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, safe);
        QCOMPARE(FileManager::safeFileName(name), safe);
        // Whatever the name, its cache and data paths stay directly in their folders.
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QCOMPARE(FileManager::cacheFilePath(name),
                 safe.isEmpty() ? QString() : FileManager::cacheFolder() + '/' + safe);
        QCOMPARE(FileManager::dataFilePath(name), safe.isEmpty() ? QString() : data + '/' + safe);
    }

    void textFiles()
    {
        // Texts made within the same second never overwrite each other.
        const QString text = QString::fromUtf8("긴 메시지 ") + QString(300, QLatin1Char('x'));
        QList<QByteArray> texts;
        for (int i = 0; i < 3; ++i)
            texts << TestEnv::contents(FileManager::makeTextFile(text));
        QCOMPARE(texts, QList<QByteArray>({text.toUtf8(), text.toUtf8(), text.toUtf8()}));
        QCOMPARE(QDir(FileManager::cacheFolder()).entryList(QDir::Files).size(), 3);
    }

    // A write takes a spare (no file is made then) and fills it as the target, whatever a run
    // cut short left in it; without a spare nothing is written, and the caller writes the file
    // itself.
    void spareFiles_data()
    {
        QTest::addColumn<int>("spares");
        QTest::addColumn<QByteArray>("leftInSpares");
        QTest::addColumn<SpareWrite>("expected");
        QTest::newRow("spare taken") << 2 << QByteArray() << SpareWrite{true, "picture", 1, 1};
        QTest::newRow("spare holding a longer picture cut short")
            << 2 << QByteArray("an earlier picture") << SpareWrite{true, "picture", 1, 1};
        QTest::newRow("no spare") << 0 << QByteArray() << SpareWrite{false, "(unreadable)", 0, 0};
    }
    void spareFiles()
    {
        QFETCH(int, spares);
        QFETCH(QByteArray, leftInSpares);
        QFETCH(SpareWrite, expected);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral(".spare"));
        const QString target = dir.filePath(QStringLiteral("u1_t.png"));
        QCOMPARE(NetSpareFiles::prepare(folder, spares), spares);
        fillFiles(folder, leftInSpares);
        QCOMPARE(writeThroughSpare(folder, target), expected);
    }

    // A decoded picture is taken once; bytes that are no picture keep nothing; the oldest
    // picture nobody took makes room for newer ones.
    void decodedPictures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("newerOnes");
        QTest::addColumn<DecodedTakes>("expected");
        const QByteArray png = pngBytes();
        QTest::newRow("not a picture") << QByteArray("text") << 0 << DecodedTakes{false, false};
        QTest::newRow("as many newer ones as are kept")
            << png << NetDecodedPictures::kKept - 1 << DecodedTakes{true, false};
        QTest::newRow("one newer too many")
            << png << NetDecodedPictures::kKept << DecodedTakes{false, false};
    }
    void decodedPictures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, newerOnes);
        QFETCH(DecodedTakes, expected);
        NetDecodedPictures::put(QStringLiteral("/cache/first.png"), bytes);
        for (int i = 0; i < newerOnes; ++i)
            NetDecodedPictures::put(QStringLiteral("/cache/%1.png").arg(i), pngBytes());
        const bool taken = !NetDecodedPictures::take(QStringLiteral("/cache/first.png")).isNull();
        const bool again = !NetDecodedPictures::take(QStringLiteral("/cache/first.png")).isNull();
        QCOMPARE((DecodedTakes{taken, again}), expected);
    }

    // Another writer put the same picture there meanwhile: it stays as it was.
    void spareFileOverAnExistingOne()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral(".spare"));
        const QString target = dir.filePath(QStringLiteral("u1_t.png"));
        QFile earlier(target);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();
        QCOMPARE(NetSpareFiles::prepare(folder, 2), 2);
        QCOMPARE(writeThroughSpare(folder, target), (SpareWrite{true, "earlier", 1, 1}));
    }

    // Spares a run left are the next run's: preparing again makes only those missing.
    void sparesLeftAreTakenUp()
    {
        QTemporaryDir dir, other;
        const QString folder = dir.filePath(QStringLiteral(".spare"));
        NetSpareFiles::prepare(folder, 3);
        NetSpareFiles::prepare(other.path(), 1);
        QCOMPARE(NetSpareFiles::prepare(folder, 4), 4);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 4);
    }
};

QTEST_MAIN(TestNetLocal)
#include "tst_netlocal.moc"
