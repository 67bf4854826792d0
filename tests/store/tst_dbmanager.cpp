#include "common/testenv.h"
#include "logcapture.h"
#include "sqlciphercli.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

namespace {

// The schema as the design gives it, statement by statement.
const QMap<QString, QString> kTables = {
    {"TTT_MTDATA",
     "CREATE TABLE TTT_MTDATA (key    INTEGER UNIQUE ON CONFLICT REPLACE, value  TEXT);"},
    {"TTT_GROUP",
     "CREATE TABLE if not exists TTT_GROUP (_id         INTEGER primary key autoincrement, "
     "group_id    INTEGER UNIQUE ON CONFLICT REPLACE, group_name  TEXT, group_type  INTEGER, "
     "group_order INTEGER, group_color INTEGER, thumb_url   TEXT, image_url   TEXT);"},
    {"TTT_USER",
     "CREATE TABLE if not exists TTT_USER (_id             INTEGER primary key autoincrement, "
     "user_id         INTEGER UNIQUE ON CONFLICT REPLACE, user_name       TEXT, cell_phone      "
     "TEXT, email           TEXT, dept_name       TEXT, thumb_url       TEXT, image_url       "
     "TEXT, open_cell_phone INTEGER, chatt_allow     INTEGER, app_install     INTEGER, "
     "user_state      INTEGER DEFAULT 1, user_sort       TEXT DEFAULT '999999');"},
    {"TTT_USER_GROUP",
     "CREATE TABLE if not exists TTT_USER_GROUP (_id      INTEGER primary key autoincrement, "
     "group_id INTEGER, user_id  INTEGER, state    INTEGER, member   INTEGER, UNIQUE   "
     "(group_id, user_id));"},
    {"TTT_CHATT_ROOM",
     "CREATE TABLE if not exists TTT_CHATT_ROOM (_id         INTEGER primary key autoincrement, "
     "topic       TEXT UNIQUE ON CONFLICT REPLACE, type        INTEGER, members     TEXT, "
     "create_date NUMERIC, update_date NUMERIC);"},
    {"TTT_CHATT",
     "CREATE TABLE if not exists TTT_CHATT (_id          INTEGER primary key autoincrement, "
     "topic        TEXT not null, msg_type     INTEGER, content_type INTEGER, msg_id       TEXT "
     "UNIQUE ON CONFLICT REPLACE, sender_id    INTEGER, content      TEXT, file_path    TEXT, "
     "msg_time     NUMERIC, count        INTEGER, msg_state    INTEGER, msg_read     INTEGER);"},
    {"TTT_CHATT_READER",
     "CREATE TABLE if not exists TTT_CHATT_READER (_id       INTEGER primary key "
     "autoincrement,topic     TEXT not null, msg_id    TEXT, reader_id INTEGER, msg_time  "
     "NUMERIC, UNIQUE    (topic, msg_id, reader_id) );"},
};
const QMap<QString, QString> kIndexes = {
    {"TTT_USER_GROUP_GOUPID",
     "CREATE INDEX if not exists TTT_USER_GROUP_GOUPID ON TTT_USER_GROUP (group_id)"},
    {"TTT_CHATT_ROOM_TOPIC",
     "CREATE INDEX IF NOT EXISTS TTT_CHATT_ROOM_TOPIC ON TTT_CHATT_ROOM (topic)"},
    {"TTT_CHATT_MSGID_SENDERID",
     "CREATE INDEX if not exists TTT_CHATT_MSGID_SENDERID ON TTT_CHATT (msg_id, sender_id)"},
};

// SQLite keeps a CREATE statement without "IF NOT EXISTS" and without the final semicolon.
QString asStored(QString sql)
{
    sql.remove(QRegularExpression(QStringLiteral("(?i)if not exists ")));
    if (sql.endsWith(QLatin1Char(';')))
        sql.chop(1);
    return sql;
}

const QString kKey = QString::fromLatin1(DBManager::kPassword);

} // namespace

class TestDBManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { m_env.reset(); }
    void cleanupTestCase() { m_log.reset(); }
    void firstOpenCreatesAnEncipheredSchema();
    void storedVersion_data();
    void storedVersion();
    void wrongKeyTouchesNothing();
    void databaseFilePath_data();
    void databaseFilePath();
    void replacedConnectionSurvivesTheOldManager();

private:
    std::unique_ptr<DBManager> open(int version = 1, const QString& key = kKey,
                                    const QString& name = QStringLiteral("Veltri"))
    {
        return std::make_unique<DBManager>(file(), name, key, version);
    }
    // Every row of every table and the schema, read by the sqlcipher tool.
    QStringList dump() const { return SqlCipherCli::run(file(), kKey, QStringLiteral(".dump")); }
    QString file() const { return m_env->path(QStringLiteral("veltri_test.db")); }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<LogCapture> m_log;
};

void TestDBManager::initTestCase()
{
    QVERIFY(!QStandardPaths::findExecutable(QStringLiteral("sqlcipher")).isEmpty());
    // After Qt Test's own handler, so that ignoreMessage keeps working.
    m_log = std::make_unique<LogCapture>();
}

void TestDBManager::init()
{
    m_env = std::make_unique<TestEnv>();
    QVERIFY(m_env->isValid());
    m_log->clear();
}

void TestDBManager::firstOpenCreatesAnEncipheredSchema()
{
    const QString secret = QStringLiteral("ZebraQuokka secret 42 비밀");
    {
        auto db = open();
        QVERIFY(db->isOpen());
        // The shared-cache option is accepted.
        QVERIFY(m_log->matching(QStringLiteral("SqlCipherDriver::open unknown")).isEmpty());
        DBUser user(db.get());
        user.setUserId(7);
        user.setUserName(QStringLiteral("Quokkaname Zebrasson"));
        QVERIFY(user.insertOrUpdate());
        DBChat chat(db.get());
        chat.setTopic(QStringLiteral("chat/1"));
        chat.setMsgId(QStringLiteral("m-1"));
        chat.setContent(1, secret);
        QVERIFY(chat.insertOrUpdate());
    }

    // Read from outside, by the sqlcipher tool with the key.
    QString error;
    const QStringList objects = SqlCipherCli::run(
        file(), kKey,
        QStringLiteral("SELECT type || '~' || name || '~' || sql FROM sqlite_master WHERE sql IS "
                       "NOT NULL AND name NOT LIKE 'sqlite%' ORDER BY type, name;"),
        &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QStringList expected;
    for (auto it = kIndexes.cbegin(); it != kIndexes.cend(); ++it)
        expected << QStringLiteral("index~") + it.key() + QLatin1Char('~') + asStored(it.value());
    for (auto it = kTables.cbegin(); it != kTables.cend(); ++it)
        expected << QStringLiteral("table~") + it.key() + QLatin1Char('~') + asStored(it.value());
    QCOMPARE(objects, expected);
    QCOMPARE(SqlCipherCli::run(file(), kKey,
                               QStringLiteral("SELECT key, value FROM TTT_MTDATA; SELECT content "
                                              "FROM TTT_CHATT;")),
             (QStringList{"1|1", secret}));
    QVERIFY(SqlCipherCli::run(file(), QStringLiteral("dravik_!!?"),
                              QStringLiteral("SELECT content FROM TTT_CHATT;"), &error)
                .isEmpty());
    QVERIFY2(error.contains(QLatin1String("file is encrypted or is not a database")),
             qPrintable(error));

    // Every file of the database (the WAL too, should one be left) is enciphered.
    const QStringList files = QDir(m_env->root()).entryList({QStringLiteral("veltri_test.db*")});
    QVERIFY(files.contains(QStringLiteral("veltri_test.db")));
    for (const QString& name : files) {
        QFile raw(m_env->path(name));
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        for (const QByteArray& plain : {QByteArray("SQLite format 3"), secret.toUtf8(),
                                        QByteArray("Quokkaname"), QByteArray("TTT_CHATT")})
            QVERIFY2(!bytes.contains(plain), qPrintable(name + QLatin1Char(' ') + plain));
    }
}

void TestDBManager::storedVersion_data()
{
    QTest::addColumn<int>("createdWith");
    QTest::addColumn<int>("openedWith");
    QTest::addColumn<bool>("updates");

    QTest::newRow("reopened with the version it has") << 1 << 1 << false;
    QTest::newRow("stored 2, opened with 1") << 2 << 1 << true;
    QTest::newRow("stored 1, opened with 0 (worker connection)") << 1 << 0 << false;
    QTest::newRow("stored 0, opened with 1") << 0 << 1 << true;
}

void TestDBManager::storedVersion()
{
    QFETCH(int, createdWith);
    QFETCH(int, openedWith);
    QFETCH(bool, updates);

    {
        auto db = open(createdWith, kKey, QStringLiteral("Veltri_mqtt"));
        DBUser user(db.get());
        user.setUserId(3);
        user.setUserName(QStringLiteral("kim"));
        QVERIFY(user.insertOrUpdate());
    }
    const QStringList before = dump();
    QVERIFY(before.filter(QStringLiteral("INSERT INTO \"TTT_USER\"")).size() == 1);
    m_log->clear();
    if (updates) {
        QTest::ignoreMessage(
            QtDebugMsg,
            qPrintable(QStringLiteral("DBManager::onUpdateDBTable - update table, newVersion=%1")
                           .arg(openedWith)));
    }
    auto db = open(openedWith);
    QCOMPARE(m_log->matching(QStringLiteral("DBManager::onUpdateDBTable")).size(), updates ? 1 : 0);
    QCOMPARE(dump(), before);
}

void TestDBManager::wrongKeyTouchesNothing()
{
    open();
    QFile raw(file());
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray before = QCryptographicHash::hash(raw.readAll(), QCryptographicHash::Sha1);
    raw.close();

    m_log->clear();
    auto db = open(1, QStringLiteral("not the key"));
    QVERIFY(!db->isOpen());
    const QStringList failures = m_log->matching(QStringLiteral("DBManager::open failed to open "));
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures.first().contains(QLatin1String("wrong key")), qPrintable(failures.first()));
    QVERIFY(m_log->matching(QStringLiteral("DBManager::createDBTable")).isEmpty());
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QCOMPARE(QCryptographicHash::hash(raw.readAll(), QCryptographicHash::Sha1), before);

    // Statements on the closed connection fail and say so.
    DBUser user(db.get());
    user.setUserId(1);
    QVERIFY(!user.insertOrUpdate());

    // Opening again with the right key replaces the failed connection instead of adding it twice.
    QVERIFY(db->open(file(), QStringLiteral("Veltri"), kKey));
    QVERIFY(user.insertOrUpdate());
    QVERIFY(m_log->matching(QStringLiteral("QSqlDatabasePrivate")).isEmpty());
}

void TestDBManager::databaseFilePath_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("plain") << "user001"
                           << "veltri_user001.db";
    QTest::newRow("path separators") << "../x/y\\z"
                                     << "veltri_.._x_y_z.db";
}

void TestDBManager::databaseFilePath()
{
    QFETCH(QString, account);
    QFETCH(QString, fileName);
    m_env->applyToCurrentProcess();
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QVERIFY(dir.startsWith(m_env->root()));
    QVERIFY(!QDir(dir).exists());
    QCOMPARE(DBManager::databaseFilePath(account), dir + QLatin1Char('/') + fileName);
    QVERIFY(QDir(dir).exists());
}

void TestDBManager::replacedConnectionSurvivesTheOldManager()
{
    auto old = open();
    // Qt replaces a connection added twice and disables the old one.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("duplicate connection")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("still in use")));
    auto current = open();
    old.reset();
    QVERIFY(current->isOpen());
    DBUser user(current.get());
    user.setUserId(9);
    QVERIFY(user.insertOrUpdate());
}

QTEST_GUILESS_MAIN(TestDBManager)
#include "tst_dbmanager.moc"
