#include "common/testenv.h"
#include "net/filemanager.h"

#include <QtTest>

class TestNetLocal : public QObject
{
    Q_OBJECT
    TestEnv m_env;

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
};

QTEST_MAIN(TestNetLocal)
#include "tst_netlocal.moc"
