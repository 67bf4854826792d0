#include "common/sqlcipherfile.h"
#include "store/dbmanager.h"
#include "store/dbsparestore.h"
#include "store/dbuser.h"
#include "store/sqlcipherdriver.h"
#include "storefixture.h"
#include "syncrecorder.h"

#include <QDir>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QtTest>

#include <grp.h>
#include <unistd.h>

namespace {

const QString kKey = QString::fromLatin1(DBManager::kPassword);

bool addUser(DBManager& db, qint64 id, const QString& name = QString())
{
    return DBUser(&db, QJsonObject{{"userId", id}, {"userName", name}}).insertOrUpdate();
}

// One open of a store file as its caller sees it, and what the attempt leaves in the folder.
struct OpenOutcome
{
    bool open = false;
    QStringList besideTheFile;
    MT_TYPED(OpenOutcome, open, besideTheFile)
};

OpenOutcome openAndClose(const QString& file)
{
    OpenOutcome outcome;
    {
        DBManager db(file, "Veltri", kKey, 1);
        outcome = {db.isOpen(), {}};
    }
    const QFileInfo info(file);
    outcome.besideTheFile = info.dir().entryList(QDir::Files | QDir::Hidden);
    outcome.besideTheFile.removeAll(info.fileName());
    return outcome;
}

// A spare store taken for an account's file, as the sqlcipher tool reads that file.
struct TakenSpare
{
    bool taken = false;
    QStringList users, version;
    MT_TYPED(TakenSpare, taken, users, version)
};

TakenSpare takeSpare(const QString& file)
{
    const bool taken = DBSpareStore::take(file);
    const SqlCipherFile tool(file);
    return {taken, tool.column("SELECT user_name FROM TTT_USER"),
            tool.column("SELECT value FROM TTT_MTDATA WHERE key = 1")};
}

// Unix modes as Qt spells them.
constexpr int kReadOnlyFile = 0x4444;   // r--r--r--
constexpr int kWritableFile = 0x6666;   // rw-rw-rw-
constexpr int kReadOnlyFolder = 0x5555; // r-xr-xr-x
constexpr int kWritableFolder = 0x7777; // rwxrwxrwx

struct OpenRow
{
    QString relativePath;
    QByteArray writtenFirst; // empty: a real store is made first
    int fileMode, folderMode;
};

// While alive the process is "nobody", so file modes bind it; the saved id stays root's.
class UnprivilegedScope
{
public:
    UnprivilegedScope()
    {
        const gid_t groups[] = {65534};
        m_dropped = geteuid() == 0 && setgroups(1, groups) == 0 &&
                    setresgid(65534, 65534, 0) == 0 && setresuid(65534, 65534, 0) == 0;
    }
    ~UnprivilegedScope()
    {
        const gid_t groups[] = {0};
        if (m_dropped &&
            (setresuid(0, 0, 0) != 0 || setresgid(0, 0, 0) != 0 || setgroups(1, groups) != 0))
            qFatal("UnprivilegedScope: could not return to root: %s", strerror(errno));
    }
    bool isUnprivileged() const { return geteuid() != 0; }

private:
    bool m_dropped = false;
};

} // namespace

Q_DECLARE_METATYPE(OpenRow)

// The store's file: the QtSql driver over SQLCipher through the public QtSql API, and the
// manager opening real files, with the sqlcipher tool as an outside reader.
class TestStoreFile : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> m_env;

    static QVariantList firstRow(const QSqlDatabase& db, const QString& sql)
    {
        QSqlQuery query(db);
        QVariantList out;
        for (int i = 0; query.exec(sql) && query.next() && i < query.record().count(); ++i)
            out << query.value(i);
        return out;
    }

private slots:
    void initTestCase()
    {
        SyncRecorder::install();
        SqlCipherDriver::registerDrivers();
    }
    void init() { m_env = std::make_unique<TestEnv>(); }

    void values()
    {
        StoreFixture store;
        QSqlDatabase db = store.db().database();
        QSqlQuery query(db);
        QVERIFY(query.exec("CREATE TABLE v (i INTEGER, t TEXT, r REAL, b BLOB)"));
        QVERIFY(query.prepare("INSERT INTO v VALUES (?, ?, ?, ?)"));
        const QVariantList values{Q_INT64_C(20231231235959123), "안녕하세요 😀", -0.25,
                                  QByteArray("\0\1\2binary", 9)};
        for (const QVariantList& row :
             {values, QVariantList{QVariant(), "", QVariant(QVariant::Double), QByteArray("")}}) {
            for (const QVariant& value : row)
                query.addBindValue(value);
            QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
        }
        QCOMPARE(firstRow(db, "SELECT i, t, r, b FROM v ORDER BY rowid"), values);
        // NULL stays NULL; an empty text or blob does not become one.
        QCOMPARE(firstRow(db, "SELECT i IS NULL, t IS NULL, r IS NULL, b IS NULL FROM v WHERE "
                              "rowid = 2"),
                 (QVariantList{1, 0, 1, 0}));
        // Closing the connection finalises a pending statement.
        QSqlQuery pending(db);
        QVERIFY(pending.exec("SELECT i FROM v") && pending.next());
        db.close();
        QVERIFY(!pending.next());
    }

    // A commit leaves the log to the disk; asking for durability (before an ack) syncs it.
    void logSyncedWhenAsked()
    {
        StoreFixture store;
        const int before = SyncRecorder::logSyncs();
        store.addChat(QStringLiteral("chat/1"), QStringLiteral("m1"), 2, 1000);
        const int committed = SyncRecorder::logSyncs();
        QVERIFY(store.db().syncWriteAheadLog());
        QCOMPARE((QList<int>{committed - before, SyncRecorder::logSyncs() - committed}),
                 (QList<int>{0, 1}));
    }

    // Both driver names open, and the process holds one SQLite library.
    void bothNamesOneSqliteLibrary()
    {
        StoreFixture keyed;
        {
            QSqlDatabase plain = QSqlDatabase::addDatabase("QSQLITE", "plain");
            plain.setDatabaseName(m_env->path("plain.db"));
            QVERIFY(plain.open());
        }
        QSqlDatabase::removeDatabase("plain");
        const QByteArray mapped = TestEnv::contents("/proc/self/maps");
        QVERIFY(mapped.contains("libsqlcipher"));
        QVERIFY2(!mapped.contains("libsqlite3"), "a second SQLite library is mapped");
        QVERIFY2(!mapped.contains("libqsqlite"), "Qt's SQLite plug-in is mapped");
    }
    // The key derived ahead for a new file (the login page's) goes to one file only: each file
    // made after it has a salt of its own, and each opens with the passphrase.
    void storeIsEnciphered()
    {
        const QStringList files = {m_env->path("veltri_test.db"), m_env->path("veltri_b.db")};
        const QString secret = "ZebraQuokka secret 42 비밀";
        DBManager::prepareNewFileKey();
        for (const QString& file : files) {
            // Written and closed; the sqlcipher tool reads it with the key.
            QVERIFY(addUser(*std::make_unique<DBManager>(file, "Veltri", kKey, 1), 2, secret));
            QCOMPARE(SqlCipherFile(file).column("SELECT user_name FROM TTT_USER"),
                     QStringList{secret});
        }
        QVERIFY(TestEnv::contents(files[0]).left(16) != TestEnv::contents(files[1]).left(16));
        // No file of a database holds plain text.
        const QStringList names = QDir(m_env->root()).entryList({"veltri_*.db*"});
        QVERIFY(names.contains("veltri_test.db") && names.contains("veltri_b.db"));
        for (const QString& name : names) {
            const QByteArray bytes = TestEnv::contents(m_env->path(name));
            for (const QByteArray& plain :
                 {QByteArray("SQLite format 3"), secret.toUtf8(), QByteArray("TTT_USER")})
                QVERIFY2(!bytes.contains(plain), qPrintable(name + QLatin1Char(' ') + plain));
        }

        // A wrong key opens nothing, makes nothing, changes nothing; writes on it fail.
        const QByteArray before = TestEnv::contents(files[0]);
        DBManager wrong(files[0], "Veltri", "not the key", 1);
        QVERIFY(!wrong.isOpen());
        QVERIFY(TestEnv::contents(files[0]) == before);
        QVERIFY(!addUser(wrong, 1));
        // The right key then replaces the failed connection on the same manager.
        QVERIFY(wrong.open(files[0], "Veltri", kKey));
        QVERIFY(addUser(wrong, 1));
    }

    // Another connection of the process opened and closed beside a writer leaves the process's
    // locks on the file: a reader in another process (the sqlcipher tool) then never takes the
    // writer's log for abandoned and deletes it, and what the writer commits stays in the file.
    void writesAfterAnotherConnectionClosed()
    {
        const QString file = m_env->path("veltri_test.db");
        DBManager writer(file, "Veltri", kKey, 1);
        QVERIFY(writer.isOpen());
        {
            DBManager other(file, "Veltri_other", kKey, 0);
            QVERIFY(other.isOpen());
        }
        QVERIFY(addUser(writer, 1, "before"));
        QCOMPARE(SqlCipherFile(file).column("SELECT user_name FROM TTT_USER"),
                 QStringList{"before"});
        QVERIFY(addUser(writer, 2, "after"));
        QCOMPARE(SqlCipherFile(file).column("SELECT user_name FROM TTT_USER ORDER BY user_name"),
                 (QStringList{"after", "before"}));
    }

    // As an unprivileged user: an unwritable store is refused and leaves no -wal or -shm.
    void opening_data()
    {
        QTest::addColumn<OpenRow>("row");
        const auto row = [](const char* name, const char* path, const QByteArray& writtenFirst,
                            int fileMode, int folderMode) {
            QTest::newRow(name) << OpenRow{path, writtenFirst, fileMode, folderMode};
        };
        row("read-only file", "a.db", {}, kReadOnlyFile, kWritableFolder);
        row("read-only folder", "a.db", {}, kWritableFile, kReadOnlyFolder);
        row("not a database", "a.db", QByteArray(4096, 'x'), kWritableFile, kWritableFolder);
        row("no such folder", "missing/a.db", "-", kWritableFile, kWritableFolder);
    }

    void opening()
    {
        QFETCH(OpenRow, row);
        const QString folder = m_env->path("store");
        QVERIFY(QDir().mkpath(folder));
        // An empty file becomes a store; anything else stays as it is.
        const QString path = folder + "/" + row.relativePath;
        QFile raw(path);
        static_cast<void>(raw.open(QIODevice::WriteOnly) && raw.write(row.writtenFirst) >= 0);
        raw.close();
        openAndClose(path);
        QVERIFY(QFile::setPermissions(m_env->root(), QFile::Permissions(0x7755)));
        static_cast<void>(QFile::setPermissions(path, QFile::Permissions(row.fileMode)));
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions(row.folderMode)));
        UnprivilegedScope asUser;
        QVERIFY(asUser.isUnprivileged());
        QCOMPARE(openAndClose(path), OpenOutcome{});
    }

    // The spare store made while the login page waits becomes the first account's store, once;
    // one a run left behind (it may have been cut short) is made anew, and the next spare never
    // replaces an account's store.
    void spareStore()
    {
        m_env->applyToCurrentProcess();
        const QString account = DBManager::databaseFilePath("first");
        QVERIFY(QDir().mkpath(QFileInfo(DBSpareStore::path()).absolutePath()));
        QFile left(DBSpareStore::path());
        QVERIFY(left.open(QIODevice::WriteOnly) && left.write(QByteArray(4096, 'x')) == 4096);
        left.close();
        QVERIFY(DBSpareStore::prepare(kKey, 1));
        QVERIFY(DBSpareStore::take(account));
        QVERIFY(addUser(*std::make_unique<DBManager>(account, "Veltri", kKey, 1), 2, "kept"));
        const TakenSpare kept{false, {"kept"}, {"1"}};
        QCOMPARE(takeSpare(DBManager::databaseFilePath("second")), TakenSpare{});
        QVERIFY(DBSpareStore::prepare(kKey, 1));
        QCOMPARE(takeSpare(account), kept);
    }

    void databaseFilePath()
    {
        m_env->applyToCurrentProcess();
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        // An account name never leads out of the folder. That the folder is made and the file
        // named after the account, tst_mtsession's login sees in the files a login leaves.
        QCOMPARE(DBManager::databaseFilePath("../x/y\\z"), dir + "/veltri_.._x_y_z.db");
    }
};

QTEST_GUILESS_MAIN(TestStoreFile)
#include "tst_storefile.moc"
