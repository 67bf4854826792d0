#include "common/sqlcipherfile.h"
#include "common/typed.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
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
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <unistd.h>

namespace {

// A statement as its caller sees it, and row 4 of the table afterwards.
struct Outcome
{
    bool ran = false;
    QString error; // the part of the driver's text expected (empty when it ran)
    int affected = -1;
    QVariantList row;
    MT_TYPED(Outcome, ran, error, affected, row)
};

// Syncs of the write-ahead log: by a commit, and by a request for durability.
struct LogSyncs
{
    int byCommit = 0;
    int byRequest = 0;
    MT_TYPED(LogSyncs, byCommit, byRequest)
};

struct StatementRow
{
    QString sql;
    QVariantList values;
    Outcome expected;
};

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
    QByteArray writtenFirst; // empty: a real store is made first, with `createKey`
    QString createKey, key;
    OpenOutcome expected;
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

const OpenOutcome kOpened{true, DBManager::OpenError::None, false, {}};

} // namespace

Q_DECLARE_METATYPE(StatementRow)
Q_DECLARE_METATYPE(ModesRow)
Q_DECLARE_METATYPE(OpenRow)

// The store's file: the QtSql driver over SQLCipher through the public QtSql API, and the
// manager opening real files, with the sqlcipher tool as an outside reader.
class TestStoreFile : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QStringList m_connections;
    std::unique_ptr<TestEnv> m_env;

    QSqlDatabase openDb(const QString& name, const QString& driver = "SQLITECIPHER",
                        const QString& password = "k", const QString& file = QString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
        m_connections << name;
        db.setDatabaseName(file.isEmpty() ? m_dir.filePath(name + QTest::currentDataTag() + ".db")
                                          : file);
        db.setPassword(password);
        db.open();
        return db;
    }
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
        QVERIFY(m_dir.isValid());
        SyncRecorder::install();
        SqlCipherDriver::registerDrivers();
        // One file for the statement rows, each of which writes row 4 anew.
        QSqlDatabase rows = QSqlDatabase::addDatabase("SQLITECIPHER", "rows");
        rows.setDatabaseName(m_dir.filePath("rows.db"));
        rows.setPassword("k");
        QVERIFY(rows.open());
        QVERIFY(QSqlQuery(rows).exec("CREATE TABLE r (id INTEGER PRIMARY KEY, a INTEGER, b TEXT "
                                     "NOT NULL DEFAULT '', c REAL)"));
        QVERIFY(QSqlQuery(rows).exec("INSERT INTO r (a) VALUES (1), (2), (3)"));
    }
    void init() { m_env = std::make_unique<TestEnv>(); }

    void cleanup()
    {
        for (const QString& name : qAsConst(m_connections)) {
            QSqlDatabase::database(name, false).close();
            QSqlDatabase::removeDatabase(name);
        }
        m_connections.clear();
    }

    // Bound values, and one row for each path a failure takes (prepare, bind, step, and more
    // than one statement); the connection goes on working after a failure.
    void statements_data()
    {
        QTest::addColumn<StatementRow>("row");
        const QString insert = "INSERT INTO r (a, b, c) VALUES (?, ?, ?)";
        const QString injection = "it's; DROP TABLE r; --";
        QTest::newRow("positional")
            << StatementRow{insert, QVariantList{1, "x", 2.5}, {true, "", 1, {1, "x", 2.5}}};
        QTest::newRow("quote in a bound text") << StatementRow{
            insert, QVariantList{5, injection, 0}, {true, "", 1, {5, injection, 0.0}}};
        QTest::newRow("missing table")
            << StatementRow{"SELECT * FROM nowhere", {}, {false, "no such table"}};
        QTest::newRow("not null") << StatementRow{"INSERT INTO r (b) VALUES (?)",
                                                  QVariantList{QVariant()},
                                                  {false, "NOT NULL constraint"}};
        QTest::newRow("too few values")
            << StatementRow{insert, QVariantList{1}, {false, "Parameter count mismatch"}};
        QTest::newRow("two statements")
            << StatementRow{"SELECT 1; SELECT 2", {}, {false, "multiple statements"}};
    }

    void statements()
    {
        QFETCH(StatementRow, row);
        QSqlDatabase db = QSqlDatabase::database("rows");
        QVERIFY(QSqlQuery(db).exec("DELETE FROM r WHERE id > 3"));
        QSqlQuery query(db);
        const bool prepared = query.prepare(row.sql);
        for (const QVariant& value : row.values)
            query.addBindValue(value);
        const bool ran = prepared && query.exec();
        const QString text = query.lastError().databaseText();
        QCOMPARE((Outcome{ran, text.contains(row.expected.error) ? row.expected.error : text,
                          ran ? query.numRowsAffected() : -1,
                          firstRow(db, "SELECT a, b, c FROM r WHERE id = 4")}),
                 row.expected);
        QVERIFY(QSqlQuery(db).exec("SELECT 1"));
    }

    void valuesAndTransactions()
    {
        QSqlDatabase db = openDb("values");
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
        QCOMPARE((LogSyncs{committed - before, SyncRecorder::logSyncs() - committed}),
                 (LogSyncs{0, 1}));
    }

    // Both driver names open, and the process holds one SQLite library.
    void bothNamesOneSqliteLibrary()
    {
        QVERIFY(openDb("keyed").isOpen());
        QVERIFY(openDb("plain", "QSQLITE", QString()).isOpen());
        QFile maps("/proc/self/maps");
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        QVERIFY(mapped.contains("libsqlcipher"));
        QVERIFY2(!mapped.contains("libsqlite3"), "a second SQLite library is mapped");
        QVERIFY2(!mapped.contains("libqsqlite"), "Qt's SQLite plug-in is mapped");
    }
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
        DBManager wrong(file, "Veltri", "not the key", 1);
        QVERIFY(!wrong.isOpen());
        QVERIFY(contents(file) == before);
        QVERIFY(!addUser(wrong, 1));
        // The right key then replaces the failed connection on the same manager.
        QVERIFY(wrong.open(file, "Veltri", kKey));
        QVERIFY(addUser(wrong, 1));
    }

    // An unwritable store is refused at open, leaves no -wal or -shm, and opens once writable.
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
        {
            UnprivilegedScope asUser;
            QVERIFY(asUser.isUnprivileged());
            QCOMPARE(openAndClose(file), row.expected);
        }

        QVERIFY(QFile::setPermissions(file, QFile::Permissions(kWritableFile)));
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions(kWritableFolder)));
        UnprivilegedScope asUser;
        QCOMPARE(openAndClose(file), kOpened);
    }

    void openErrors_data()
    {
        QTest::addColumn<OpenRow>("row");
        const OpenOutcome wrongKey{false, DBManager::OpenError::WrongKey, true, {}};
        const QString quoted = "it's'';--";
        QTest::newRow("quote in the key") << OpenRow{"veltri_a.db", {}, quoted, quoted, kOpened};
        QTest::newRow("quote in the key, wrong end")
            << OpenRow{"veltri_a.db", {}, quoted, quoted + "x", wrongKey};
        QTest::newRow("non-ASCII key")
            << OpenRow{"veltri_a.db", {}, "비밀번호", "비밀번호", kOpened};
        QTest::newRow("not a database")
            << OpenRow{"veltri_a.db", QByteArray(4096, 'x'), kKey, kKey, wrongKey};
        QTest::newRow("no such folder")
            << OpenRow{"missing/veltri_a.db",
                       "-",
                       kKey,
                       kKey,
                       {false, DBManager::OpenError::CannotOpen, true, {}}};
    }

    void openErrors()
    {
        QFETCH(OpenRow, row);
        // An empty file becomes a store under `createKey`; anything else stays as it is.
        const QString path = m_env->path(row.relativePath);
        QFile raw(path);
        static_cast<void>(raw.open(QIODevice::WriteOnly) && raw.write(row.writtenFirst) >= 0);
        raw.close();
        openAndClose(path, row.createKey);
        QCOMPARE(openAndClose(path, row.key), row.expected);
    }

    void databaseFilePath()
    {
        m_env->applyToCurrentProcess();
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        // The folder is made; an account name never leads out of it.
        QCOMPARE(DBManager::databaseFilePath("user001"), dir + "/veltri_user001.db");
        QVERIFY(QDir(dir).exists());
        QCOMPARE(DBManager::databaseFilePath("../x/y\\z"), dir + "/veltri_.._x_y_z.db");
    }
};

QTEST_GUILESS_MAIN(TestStoreFile)
#include "tst_storefile.moc"
