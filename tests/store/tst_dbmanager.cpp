#include "logcapture.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"
#include "storefixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QtTest>

namespace {

// The schema's statements as SQLite keeps them (without "if not exists" and the final
// semicolon), indexes then tables, each by name.
const QStringList kSchema = {
    "CREATE INDEX TTT_CHATT_MSGID_SENDERID ON TTT_CHATT (msg_id, sender_id)",
    "CREATE INDEX TTT_CHATT_ROOM_TOPIC ON TTT_CHATT_ROOM (topic)",
    "CREATE INDEX TTT_USER_GROUP_GOUPID ON TTT_USER_GROUP (group_id)",
    "CREATE TABLE TTT_CHATT (_id          INTEGER primary key autoincrement, topic        TEXT "
    "not null, msg_type     INTEGER, content_type INTEGER, msg_id       TEXT UNIQUE ON CONFLICT "
    "REPLACE, sender_id    INTEGER, content      TEXT, file_path    TEXT, msg_time     NUMERIC, "
    "count        INTEGER, msg_state    INTEGER, msg_read     INTEGER)",
    "CREATE TABLE TTT_CHATT_READER (_id       INTEGER primary key autoincrement,topic     TEXT "
    "not null, msg_id    TEXT, reader_id INTEGER, msg_time  NUMERIC, UNIQUE    (topic, msg_id, "
    "reader_id) )",
    "CREATE TABLE TTT_CHATT_ROOM (_id         INTEGER primary key autoincrement, topic       TEXT "
    "UNIQUE ON CONFLICT REPLACE, type        INTEGER, members     TEXT, create_date NUMERIC, "
    "update_date NUMERIC)",
    "CREATE TABLE TTT_GROUP (_id         INTEGER primary key autoincrement, group_id    INTEGER "
    "UNIQUE ON CONFLICT REPLACE, group_name  TEXT, group_type  INTEGER, group_order INTEGER, "
    "group_color INTEGER, thumb_url   TEXT, image_url   TEXT)",
    "CREATE TABLE TTT_MTDATA (key    INTEGER UNIQUE ON CONFLICT REPLACE, value  TEXT)",
    "CREATE TABLE TTT_USER (_id             INTEGER primary key autoincrement, user_id         "
    "INTEGER UNIQUE ON CONFLICT REPLACE, user_name       TEXT, cell_phone      TEXT, email     "
    "      TEXT, dept_name       TEXT, thumb_url       TEXT, image_url       TEXT, "
    "open_cell_phone INTEGER, chatt_allow     INTEGER, app_install     INTEGER, user_state      "
    "INTEGER DEFAULT 1, user_sort       TEXT DEFAULT '999999')",
    "CREATE TABLE TTT_USER_GROUP (_id      INTEGER primary key autoincrement, group_id INTEGER, "
    "user_id  INTEGER, state    INTEGER, member   INTEGER, UNIQUE   (group_id, user_id))",
};

const QString kKey = QString::fromLatin1(DBManager::kPassword);

QByteArray contents(const QString& file)
{
    QFile raw(file);
    return raw.open(QIODevice::ReadOnly) ? raw.readAll() : QByteArray("unreadable");
}

const char* nameOf(DBManager::OpenError error)
{
    switch (error) {
    case DBManager::OpenError::None:
        return "None";
    case DBManager::OpenError::CannotOpen:
        return "CannotOpen";
    case DBManager::OpenError::WrongKey:
        return "WrongKey";
    case DBManager::OpenError::ReadOnly:
        return "ReadOnly";
    }
    return "?";
}

// One open of a store file as its caller sees it, and what the attempt leaves in the folder.
struct OpenOutcome
{
    bool open = false;
    DBManager::OpenError error = DBManager::OpenError::None;
    qint64 users = -1;         // rows of TTT_USER read through the connection, -1 when closed
    QStringList besideTheFile; // the folder's other files once the manager is gone
    bool operator==(const OpenOutcome& o) const
    {
        return open == o.open && error == o.error && users == o.users &&
               besideTheFile == o.besideTheFile;
    }
};

char* toString(const OpenOutcome& o)
{
    return qstrdup(QStringLiteral("{open=%1 error=%2 users=%3 besideTheFile=[%4]}")
                       .arg(o.open)
                       .arg(QLatin1String(nameOf(o.error)))
                       .arg(o.users)
                       .arg(o.besideTheFile.join(QLatin1String(", ")))
                       .toUtf8()
                       .constData());
}

OpenOutcome openAndClose(const QString& file, const QString& key = kKey)
{
    OpenOutcome outcome;
    {
        DBManager db(file, "Veltri", key, 1);
        outcome.open = db.isOpen();
        outcome.error = db.openError();
        QSqlQuery count(db.database());
        outcome.users = count.exec("SELECT count(*) FROM TTT_USER") && count.next()
                            ? count.value(0).toLongLong()
                            : -1;
    }
    const QFileInfo info(file);
    outcome.besideTheFile = info.dir().entryList(QDir::Files | QDir::Hidden);
    outcome.besideTheFile.removeAll(info.fileName());
    return outcome;
}

void setMode(const QString& path, int mode)
{
    QVERIFY(QFile::setPermissions(path, QFile::Permissions(mode)));
}

// Unix modes as Qt spells them.
constexpr int kReadOnlyFile = 0x4444;   // r--r--r--
constexpr int kWritableFile = 0x6666;   // rw-rw-rw-
constexpr int kReadOnlyFolder = 0x5555; // r-xr-xr-x
constexpr int kWritableFolder = 0x7777; // rwxrwxrwx
constexpr int kPassableFolder = 0x7755; // rwxr-xr-x

} // namespace

Q_DECLARE_METATYPE(OpenOutcome)
Q_DECLARE_METATYPE(DBManager::OpenError)

class TestDBManager : public QObject
{
    Q_OBJECT
    std::unique_ptr<DBManager> open(int version = 1, const QString& key = kKey,
                                    const QString& name = "Veltri")
    {
        return std::make_unique<DBManager>(file(), name, key, version);
    }
    // Every row of every table and the schema, read by the sqlcipher tool.
    QStringList dump() const { return sqlcipherTool(file(), kKey, ".dump"); }
    QString file() const { return m_env->path("veltri_test.db"); }
    DBUser user(DBManager* db, qint64 id) { return DBUser(db, QJsonObject{{"userId", id}}); }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<LogCapture> m_log;

private slots:
    void initTestCase() { m_log = std::make_unique<LogCapture>(); } // after Qt Test's handler
    void init() { m_env = std::make_unique<TestEnv>(); }

    void firstOpenCreatesAnEncipheredSchema()
    {
        const QString secret = "ZebraQuokka secret 42 비밀";
        {
            auto db = open();
            QVERIFY(db->isOpen());
            // The shared-cache option is accepted.
            QVERIFY(m_log->lines("SqlCipherDriver::open unknown").isEmpty());
            DBChat chat(db.get());
            chat.setTopic("chat/1");
            chat.setMsgId("m-1");
            chat.setContent(1, secret);
            QVERIFY(chat.insertOrUpdate());
        }

        // Read from outside, by the sqlcipher tool with the key; a wrong key reads nothing.
        QString error;
        QCOMPARE(
            sqlcipherTool(file(), kKey,
                          "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE "
                          "'sqlite%' ORDER BY type, name; SELECT 'key ' || key FROM TTT_MTDATA; "
                          "SELECT 'value ' || value FROM TTT_MTDATA; SELECT content FROM "
                          "TTT_CHATT;",
                          &error),
            kSchema + (QStringList{"key 1", "value 1", secret}));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(sqlcipherTool(file(), "dravik_!!?", "SELECT content FROM TTT_CHATT;", &error)
                    .isEmpty());
        QVERIFY2(error.contains("file is encrypted or is not a database"), qPrintable(error));

        // Every file of the database (the WAL too, should one be left) is enciphered.
        const QStringList files = QDir(m_env->root()).entryList({"veltri_test.db*"});
        QVERIFY(files.contains("veltri_test.db"));
        for (const QString& name : files) {
            const QByteArray bytes = contents(m_env->path(name));
            for (const QByteArray& plain :
                 {QByteArray("SQLite format 3"), secret.toUtf8(), QByteArray("TTT_CHATT")})
                QVERIFY2(!bytes.contains(plain), qPrintable(name + QLatin1Char(' ') + plain));
        }
    }

    void storedVersion_data()
    {
        QTest::addColumn<int>("createdWith");
        QTest::addColumn<int>("openedWith");
        QTest::addColumn<QStringList>("logged");

        QTest::newRow("reopened with the version it has") << 1 << 1 << QStringList();
        QTest::newRow("stored 2, opened with 1")
            << 2 << 1 << QStringList{"DBManager::onUpdateDBTable - update table, newVersion=1"};
        QTest::newRow("stored 1, opened with 0 (worker connection)") << 1 << 0 << QStringList();
    }

    void storedVersion()
    {
        QFETCH(int, createdWith);
        QFETCH(int, openedWith);
        QFETCH(QStringList, logged);

        {
            auto db = open(createdWith, kKey, "Veltri_mqtt");
            QVERIFY(user(db.get(), 3).insertOrUpdate());
        }
        const QStringList before = dump();
        QCOMPARE(before.filter("INSERT INTO \"TTT_USER\"").size(), 1);
        m_log->clear();
        auto db = open(openedWith);
        QCOMPARE(m_log->lines("DBManager::onUpdateDBTable"), logged);
        QCOMPARE(dump(), before);
    }

    void wrongKeyAndReplacedConnections()
    {
        open();
        const QByteArray before = contents(file());
        m_log->clear();
        auto db = open(1, "not the key");
        QVERIFY(!db->isOpen());
        const QStringList failures = m_log->lines("DBManager::open failed to open ");
        QCOMPARE(failures.size(), 1);
        QVERIFY2(failures.first().contains(QLatin1String("wrong key")),
                 qPrintable(failures.first()));
        QVERIFY(m_log->lines("DBManager::createDBTable").isEmpty());
        QVERIFY(contents(file()) == before);
        // Statements on the closed connection fail and say so.
        QVERIFY(!user(db.get(), 1).insertOrUpdate());

        // Opening again with the right key replaces the failed connection instead of adding it
        // twice.
        QVERIFY(db->open(file(), "Veltri", kKey));
        QVERIFY(user(db.get(), 1).insertOrUpdate());
        QVERIFY(m_log->lines("QSqlDatabasePrivate").isEmpty());

        // Qt replaces a connection added twice and disables the old one; the old manager going
        // afterwards leaves the new one working.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("duplicate connection"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("still in use"));
        auto current = open();
        db.reset();
        QVERIFY(user(current.get(), 9).insertOrUpdate());
    }

    // A store the user cannot write is refused at open, named as such, and the attempt leaves no
    // -wal or -shm behind: the same user opens it once it is writable again.
    void unwritableStoreIsRefused_data()
    {
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<OpenOutcome>("expected");
        QTest::addColumn<int>("unusableLines"); // log lines that call the store unusable

        const OpenOutcome refused{false, DBManager::OpenError::ReadOnly, -1, {}};
        QTest::newRow("read-only file") << kReadOnlyFile << kWritableFolder << refused << 1;
        QTest::newRow("read-only folder") << kWritableFile << kReadOnlyFolder << refused << 1;
        QTest::newRow("read-only file and folder")
            << kReadOnlyFile << kReadOnlyFolder << refused << 1;
        QTest::newRow("both writable")
            << kWritableFile << kWritableFolder << OpenOutcome{true, {}, 1, {}} << 0;
    }

    void unwritableStoreIsRefused()
    {
        QFETCH(int, fileMode);
        QFETCH(int, folderMode);
        QFETCH(OpenOutcome, expected);
        QFETCH(int, unusableLines);

        const QString folder = m_env->path("store");
        const QString file = folder + "/veltri_test.db";
        QVERIFY(QDir().mkpath(folder));
        {
            DBManager db(file, "Veltri", kKey, 1);
            QVERIFY(user(&db, 3).insertOrUpdate());
        }
        setMode(m_env->root(), kPassableFolder);
        setMode(file, fileMode);
        setMode(folder, folderMode);
        m_log->clear();
        OpenOutcome outcome;
        {
            UnprivilegedScope asUser;
            QVERIFY(asUser.isUnprivileged());
            outcome = openAndClose(file);
        }
        QCOMPARE(outcome, expected);
        QCOMPARE(m_log->lines("cannot be written, the store is unusable").size(), unusableLines);

        setMode(file, kWritableFile);
        setMode(folder, kWritableFolder);
        UnprivilegedScope asUser;
        QCOMPARE(openAndClose(file), (OpenOutcome{true, {}, 1, {}}));
    }

    void openErrors_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::addColumn<QByteArray>("writtenFirst"); // empty: a real store is made first
        QTest::addColumn<QString>("key");
        QTest::addColumn<DBManager::OpenError>("expected");
        QTest::addColumn<bool>("isOpen");

        QTest::newRow("right key")
            << "veltri_a.db" << QByteArray() << kKey << DBManager::OpenError::None << true;
        QTest::newRow("wrong key") << "veltri_a.db" << QByteArray() << "not the key"
                                   << DBManager::OpenError::WrongKey << false;
        QTest::newRow("not a database") << "veltri_a.db" << QByteArray(4096, 'x') << kKey
                                        << DBManager::OpenError::WrongKey << false;
        QTest::newRow("no such folder") << "missing/veltri_a.db" << QByteArray("-") << kKey
                                        << DBManager::OpenError::CannotOpen << false;
    }

    void openErrors()
    {
        QFETCH(QString, relativePath);
        QFETCH(QByteArray, writtenFirst);
        QFETCH(QString, key);
        QFETCH(DBManager::OpenError, expected);
        QFETCH(bool, isOpen);

        // The file gets `writtenFirst` (nothing is made where its folder is missing), then the
        // right key opens it once: an empty file becomes a store, anything else stays as it is.
        const QString path = m_env->path(relativePath);
        QFile raw(path);
        static_cast<void>(raw.open(QIODevice::WriteOnly) && raw.write(writtenFirst) >= 0);
        raw.close();
        {
            const DBManager made(path, "Veltri", kKey, 1);
        }
        DBManager db(path, "Veltri", key, 1);
        QCOMPARE(nameOf(db.openError()), nameOf(expected));
        QCOMPARE(db.isOpen(), isOpen);
        QCOMPARE(db.openErrorText().isEmpty(), isOpen);
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
