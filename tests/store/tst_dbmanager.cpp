#include "common/sqlcipherfile.h"
#include "logcapture.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"
#include "storefixture.h"

#include <QDir>
#include <QJsonObject>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QString kKey = QString::fromLatin1(DBManager::kPassword);

QByteArray contents(const QString& file)
{
    QFile raw(file);
    return raw.open(QIODevice::ReadOnly) ? raw.readAll() : QByteArray("unreadable");
}

bool addUser(DBManager& db, qint64 id)
{
    return DBUser(&db, QJsonObject{{"userId", id}}).insertOrUpdate();
}

// One open of a store file as its caller sees it, and what the attempt leaves in the folder.
struct OpenOutcome
{
    bool open = false;
    DBManager::OpenError error = DBManager::OpenError::None;
    bool errorText = false; // the driver's words for a failure are kept
    QStringList besideTheFile;
    MT_TYPED(OpenOutcome, open, error, errorText, besideTheFile)
};

OpenOutcome openAndClose(const QString& file, const QString& key = kKey)
{
    OpenOutcome outcome;
    {
        DBManager db(file, "Veltri", key, 1);
        outcome = {db.isOpen(), db.openError(), !db.openErrorText().isEmpty(), {}};
    }
    const QFileInfo info(file);
    outcome.besideTheFile = info.dir().entryList(QDir::Files | QDir::Hidden);
    outcome.besideTheFile.removeAll(info.fileName());
    return outcome;
}

// Unix modes as Qt spells them.
constexpr int kReadOnlyFile = 0x4444;   // r--r--r--
constexpr int kWritableFile = 0x6666;   // rw-rw-rw-
constexpr int kReadOnlyFolder = 0x5555; // r-xr-xr-x
constexpr int kWritableFolder = 0x7777; // rwxrwxrwx

struct ModesRow
{
    int fileMode, folderMode;
    OpenOutcome expected;
};

struct OpenRow
{
    QString relativePath;
    QByteArray writtenFirst; // empty: a real store is made first
    QString key;
    OpenOutcome expected;
};

const OpenOutcome kOpened{true, DBManager::OpenError::None, false, {}};

} // namespace

Q_DECLARE_METATYPE(ModesRow)
Q_DECLARE_METATYPE(OpenRow)

class TestDBManager : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<LogCapture> m_log;

private slots:
    void initTestCase() { m_log = std::make_unique<LogCapture>(); } // after Qt Test's handler
    void init() { m_env = std::make_unique<TestEnv>(); }

    void storeIsEnciphered()
    {
        const QString file = m_env->path("veltri_test.db");
        const QString secret = "ZebraQuokka secret 42 비밀";
        {
            DBManager db(file, "Veltri", kKey, 1);
            DBChat chat(&db);
            chat.setTopic("chat/1");
            chat.setMsgId("m-1");
            chat.setContent(1, secret);
            QVERIFY(chat.insertOrUpdate());
            // The shared-cache option is one the driver knows.
            QCOMPARE(m_log->lines("SqlCipherDriver::open unknown"), QStringList());
        }
        // The sqlcipher tool reads it with the key; no file of the database holds plain text.
        QCOMPARE(SqlCipherFile(file).column("SELECT content FROM TTT_CHATT"), QStringList{secret});
        const QStringList files = QDir(m_env->root()).entryList({"veltri_test.db*"});
        QVERIFY(files.contains("veltri_test.db"));
        for (const QString& name : files) {
            const QByteArray bytes = contents(m_env->path(name));
            for (const QByteArray& plain :
                 {QByteArray("SQLite format 3"), secret.toUtf8(), QByteArray("TTT_CHATT")})
                QVERIFY2(!bytes.contains(plain), qPrintable(name + QLatin1Char(' ') + plain));
        }

        // A wrong key opens nothing, makes nothing, changes nothing; writes on it fail.
        const QByteArray before = contents(file);
        m_log->clear();
        DBManager wrong(file, "Veltri", "not the key", 1);
        QVERIFY(!wrong.isOpen());
        QCOMPARE(m_log->lines("wrong key").size(), 1);
        QCOMPARE(m_log->lines("DBManager::createDB"), QStringList());
        QVERIFY(contents(file) == before);
        QVERIFY(!addUser(wrong, 1));
        // The right key then replaces the failed connection on the same manager.
        QVERIFY(wrong.open(file, "Veltri", kKey));
        QVERIFY(addUser(wrong, 1));
        QCOMPARE(m_log->lines("QSqlDatabasePrivate"), QStringList());
    }

    // A store the user cannot write is refused at open, named as such, and the attempt leaves no
    // -wal or -shm behind: the same user opens it once it is writable again.
    void unwritableStoreIsRefused_data()
    {
        QTest::addColumn<ModesRow>("row");
        const OpenOutcome refused{false, DBManager::OpenError::ReadOnly, true, {}};
        QTest::newRow("read-only file") << ModesRow{kReadOnlyFile, kWritableFolder, refused};
        QTest::newRow("read-only folder") << ModesRow{kWritableFile, kReadOnlyFolder, refused};
        QTest::newRow("both writable") << ModesRow{kWritableFile, kWritableFolder, kOpened};
    }

    void unwritableStoreIsRefused()
    {
        QFETCH(ModesRow, row);
        const QString folder = m_env->path("store");
        const QString file = folder + "/veltri_test.db";
        QVERIFY(QDir().mkpath(folder));
        {
            DBManager db(file, "Veltri", kKey, 1);
            QVERIFY(addUser(db, 3));
        }
        QVERIFY(QFile::setPermissions(m_env->root(), QFile::Permissions(0x7755)));
        QVERIFY(QFile::setPermissions(file, QFile::Permissions(row.fileMode)));
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions(row.folderMode)));
        m_log->clear();
        {
            UnprivilegedScope asUser;
            QVERIFY(asUser.isUnprivileged());
            QCOMPARE(openAndClose(file), row.expected);
        }
        QCOMPARE(m_log->lines("cannot be written").size(), int(!row.expected.open));

        QVERIFY(QFile::setPermissions(file, QFile::Permissions(kWritableFile)));
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions(kWritableFolder)));
        UnprivilegedScope asUser;
        QCOMPARE(openAndClose(file), kOpened);
    }

    void openErrors_data()
    {
        QTest::addColumn<OpenRow>("row");
        const OpenOutcome wrongKey{false, DBManager::OpenError::WrongKey, true, {}};
        QTest::newRow("right key") << OpenRow{"veltri_a.db", {}, kKey, kOpened};
        QTest::newRow("wrong key") << OpenRow{"veltri_a.db", {}, "not the key", wrongKey};
        QTest::newRow("not a database")
            << OpenRow{"veltri_a.db", QByteArray(4096, 'x'), kKey, wrongKey};
        QTest::newRow("no such folder") << OpenRow{
            "missing/veltri_a.db", "-", kKey, {false, DBManager::OpenError::CannotOpen, true, {}}};
    }

    void openErrors()
    {
        QFETCH(OpenRow, row);
        // The file gets `writtenFirst` (nothing is made where its folder is missing), then the
        // right key opens it once: an empty file becomes a store, anything else stays as it is.
        const QString path = m_env->path(row.relativePath);
        QFile raw(path);
        static_cast<void>(raw.open(QIODevice::WriteOnly) && raw.write(row.writtenFirst) >= 0);
        raw.close();
        openAndClose(path);
        QCOMPARE(openAndClose(path, row.key), row.expected);
    }

    void databaseFilePath()
    {
        m_env->applyToCurrentProcess();
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QVERIFY(dir.startsWith(m_env->root()));
        QVERIFY(!QDir(dir).exists());
        QCOMPARE(DBManager::databaseFilePath("user001"), dir + "/veltri_user001.db");
        QVERIFY(QDir(dir).exists());
        // An account name never leads out of the folder.
        QCOMPARE(DBManager::databaseFilePath("../x/y\\z"), dir + "/veltri_.._x_y_z.db");
    }
};

QTEST_GUILESS_MAIN(TestDBManager)
#include "tst_dbmanager.moc"
