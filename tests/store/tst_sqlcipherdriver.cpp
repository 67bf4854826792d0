#include "store/sqlcipherdriver.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kCipher = QStringLiteral("SQLITECIPHER");
const QString kKey = QStringLiteral("k");

// Runs the statements in turn: the first failure as "statement: error", or nothing.
QString run(const QSqlDatabase& db, const QStringList& statements)
{
    QSqlQuery query(db);
    for (const QString& sql : statements) {
        if (!query.exec(sql))
            return sql + QStringLiteral(": ") + query.lastError().text();
    }
    return QString();
}

// Every row of the statement, columns joined with "|", or the failure.
QStringList rows(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return {QStringLiteral("failed: ") + query.lastError().text()};
    QStringList out;
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns << query.value(i).toString();
        out << columns.join(QLatin1Char('|'));
    }
    return out;
}

QByteArray head(const QString& file)
{
    QFile raw(file);
    return raw.open(QIODevice::ReadOnly) ? raw.read(16) : QByteArray();
}
} // namespace

// The QtSql driver over SQLCipher, through the public QtSql API only, on real files.
class TestSqlCipherDriver : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void bindings_data();
    void bindings();
    void valuesScrollingAndTransactions();
    void statements_data();
    void statements();
    void keys_data();
    void keys();
    void schemaAndOneSqliteLibrary();

private:
    QSqlDatabase openDb(const QString& name, const QString& driver = kCipher,
                        const QString& password = kKey, const QString& file = QString());
    QString path(const QString& file) const { return m_dir.filePath(file); }

    QTemporaryDir m_dir;
    QStringList m_connections;
};

void TestSqlCipherDriver::initTestCase()
{
    QVERIFY(m_dir.isValid());
    SqlCipherDriver::registerDrivers();
}

void TestSqlCipherDriver::cleanup()
{
    for (const QString& name : qAsConst(m_connections)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    m_connections.clear();
}

QSqlDatabase TestSqlCipherDriver::openDb(const QString& name, const QString& driver,
                                         const QString& password, const QString& file)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
    m_connections << name;
    db.setDatabaseName(file.isEmpty() ? path(name + QStringLiteral(".db")) : file);
    db.setPassword(password);
    db.open();
    return db;
}

void TestSqlCipherDriver::bindings_data()
{
    QTest::addColumn<QString>("insert");
    QTest::addColumn<QStringList>("names"); // empty: bind by position
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QString>("expected"); // a|b|c as stored

    QTest::newRow("positional") << "INSERT INTO t (a, b, c) VALUES (?, ?, ?)" << QStringList()
                                << QVariantList{1, QStringLiteral("x"), 2.5} << "1|x|2.5";
    QTest::newRow("named used twice, bound out of order")
        << "INSERT INTO t (a, b, c) VALUES (:n, :s, :n)" << QStringList{":s", ":n"}
        << QVariantList{QStringLiteral("y"), 7} << "7|y|7.0";
    QTest::newRow("colon and question mark inside quotes")
        << "INSERT INTO t (a, b, c) VALUES (?, 'a:b?', ?)" << QStringList() << QVariantList{4, 0.5}
        << "4|a:b?|0.5";
    QTest::newRow("quote in a bound text")
        << "INSERT INTO t (a, b, c) VALUES (?, ?, ?)" << QStringList()
        << QVariantList{5, QStringLiteral("it's; DROP TABLE t; --"), 0}
        << "5|it's; DROP TABLE t; --|0.0";
}

void TestSqlCipherDriver::bindings()
{
    QFETCH(QString, insert);
    QFETCH(QStringList, names);
    QFETCH(QVariantList, values);
    QFETCH(QString, expected);

    QSqlDatabase db = openDb(QStringLiteral("bind"));
    QCOMPARE(run(db, {"DROP TABLE IF EXISTS t", "CREATE TABLE t (a INTEGER, b TEXT, c REAL)"}),
             QString());
    QSqlQuery query(db);
    QVERIFY2(query.prepare(insert), qPrintable(query.lastError().text()));
    for (int i = 0; i < values.size(); ++i) {
        if (names.isEmpty())
            query.addBindValue(values.at(i));
        else
            query.bindValue(names.at(i), values.at(i));
    }
    QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    QCOMPARE(query.lastQuery(), insert);
    QCOMPARE(rows(db, "SELECT a || '|' || b || '|' || printf('%.1f', c) FROM t"),
             QStringList{expected});
}

void TestSqlCipherDriver::valuesScrollingAndTransactions()
{
    QSqlDatabase db = openDb(QStringLiteral("values"));
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("CREATE TABLE v (i INTEGER, t TEXT, r REAL, b BLOB)")));
    QVERIFY(query.prepare(QStringLiteral("INSERT INTO v VALUES (?, ?, ?, ?)")));
    const QVariantList values{Q_INT64_C(20231231235959123), QStringLiteral("안녕하세요 😀"), -0.25,
                              QByteArray("\0\1\2binary", 9)};
    for (const QVariantList& row :
         {values, QVariantList{QVariant(), QStringLiteral(""), QVariant(QVariant::Double),
                               QByteArray("")}}) {
        for (const QVariant& value : row)
            query.addBindValue(value);
        QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    }
    QVERIFY(query.exec(QStringLiteral("SELECT i, t, r, b FROM v ORDER BY rowid")));
    QCOMPARE(query.record().field(0).type(), QVariant::LongLong);
    QVERIFY(query.next());
    QCOMPARE((QVariantList{query.value(0), query.value(1), query.value(2), query.value(3)}),
             values);
    // NULL stays NULL; an empty text or blob does not become one.
    QVERIFY(query.next());
    QCOMPARE((QList<bool>{query.isNull(0), query.isNull(1), query.isNull(2), query.isNull(3)}),
             (QList<bool>{true, false, true, false}));
    QVERIFY(!query.next());

    // Scrolling, and the same statement text twice at once, forward only: each query keeps its
    // own position.
    QCOMPARE(run(db, {"CREATE TABLE s (n INTEGER)",
                      "WITH RECURSIVE c(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM c WHERE n < "
                      "9) INSERT INTO s SELECT n FROM c"}),
             QString());
    const QString all = QStringLiteral("SELECT n FROM s ORDER BY n");
    QVERIFY(query.exec(all));
    QVERIFY(query.last() && query.at() == 9);
    QVERIFY(query.previous() && query.value(0).toInt() == 8);
    QVERIFY(query.seek(3) && query.value(0).toInt() == 3);
    QSqlQuery a(db);
    QSqlQuery b(db);
    a.setForwardOnly(true);
    b.setForwardOnly(true);
    QVERIFY(a.exec(all) && b.exec(all));
    QVERIFY(a.next() && a.next() && b.next());
    QCOMPARE(a.value(0).toInt() * 10 + b.value(0).toInt(), 10);
    int seen = 2;
    while (a.next())
        QCOMPARE(a.value(0).toInt(), seen++);
    QCOMPARE(seen, 10);

    // Transactions do not nest; a rollback undoes.
    QVERIFY(db.transaction() && !db.transaction());
    QVERIFY(query.exec(QStringLiteral("DELETE FROM s")));
    QVERIFY(db.rollback() && !db.rollback());
    QCOMPARE(rows(db, "SELECT count(*) FROM s"), QStringList{"10"});

    // Closing the connection finalises a pending statement; the query only stops working.
    QVERIFY(query.exec(all) && query.next());
    db.close();
    QVERIFY(!query.next());
    QTest::ignoreMessage(QtWarningMsg, "QSqlQuery::exec: database not open");
    QVERIFY(!query.exec(all));
}

void TestSqlCipherDriver::statements_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QString>("result"); // rows affected|last insert id, or a part of the error

    QTest::newRow("create table") << "CREATE TABLE other (x)" << QVariantList() << "0|";
    QTest::newRow("missing table")
        << "SELECT * FROM nowhere" << QVariantList() << "no such table: nowhere";
    QTest::newRow("not null") << "INSERT INTO r (must) VALUES (?)" << QVariantList{QVariant()}
                              << "NOT NULL constraint failed";
    QTest::newRow("too few values")
        << "INSERT INTO r (must) VALUES (?)" << QVariantList() << "Parameter count mismatch";
    QTest::newRow("two statements")
        << "SELECT 1; SELECT 2" << QVariantList() << "multiple statements";
}

void TestSqlCipherDriver::statements()
{
    QFETCH(QString, sql);
    QFETCH(QVariantList, values);
    QFETCH(QString, result);

    QSqlDatabase db = openDb(QStringLiteral("rows"));
    QCOMPARE(run(db, {"DROP TABLE IF EXISTS r", "DROP TABLE IF EXISTS other",
                      "CREATE TABLE r (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT UNIQUE ON "
                      "CONFLICT REPLACE, must TEXT NOT NULL DEFAULT '')"}),
             QString());
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("INSERT INTO r (name) VALUES ('a'), ('b'), ('c')")));
    QCOMPARE(query.numRowsAffected(), 3);

    const bool ok = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (ok && query.exec()) {
        QCOMPARE(QStringLiteral("%1|%2")
                     .arg(query.numRowsAffected())
                     .arg(query.lastInsertId().toString()),
                 result);
        return;
    }
    QVERIFY2(query.lastError().databaseText().contains(result, Qt::CaseInsensitive),
             qPrintable(query.lastError().text()));
    QCOMPARE(query.lastQuery(), sql);
    // The connection goes on working after a failed statement.
    QVERIFY(query.exec(QStringLiteral("SELECT 1")));
}

void TestSqlCipherDriver::keys_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("design password") << "dravik_!!!";
    QTest::newRow("quote in password") << "it's'';--";
    QTest::newRow("non-ASCII password") << "비밀번호";
}

void TestSqlCipherDriver::keys()
{
    QFETCH(QString, password);
    const QString file = path(QStringLiteral("keyed-%1.db").arg(QTest::currentDataTag()));
    {
        QSqlDatabase db = openDb(QStringLiteral("keyed"), kCipher, password, file);
        QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
        QCOMPARE(run(db, {"CREATE TABLE secret (t TEXT)", "INSERT INTO secret VALUES ('words')"}),
                 QString());
        QCOMPARE(rows(db, "PRAGMA journal_mode") + rows(db, "PRAGMA synchronous"),
                 (QStringList{"wal", "1"}));
    }
    cleanup();

    // A wrong key fails open() itself, with a clear message; so does no key at all.
    QSqlDatabase wrong =
        openDb(QStringLiteral("wrong"), kCipher, password + QLatin1Char('x'), file);
    QVERIFY(!wrong.isOpen());
    QVERIFY2(wrong.lastError().text().contains(QLatin1String("wrong key")),
             qPrintable(wrong.lastError().text()));
    QCOMPARE(wrong.lastError().type(), QSqlError::ConnectionError);
    QVERIFY(!openDb(QStringLiteral("nokey"), QStringLiteral("QSQLITE"), QString(), file).isOpen());
    QCOMPARE(rows(openDb(QStringLiteral("again"), kCipher, password, file), "SELECT t FROM secret"),
             QStringList{"words"});
}

void TestSqlCipherDriver::schemaAndOneSqliteLibrary()
{
    QVERIFY(openDb(QStringLiteral("maps-keyed")).isOpen());
    QSqlDatabase db = openDb(QStringLiteral("schema"), QStringLiteral("QSQLITE"), QString());
    QCOMPARE(run(db, {"CREATE TABLE \"odd \"\"name\" (_id INTEGER primary key autoincrement, t "
                      "TEXT NOT NULL)",
                      "CREATE VIEW w AS SELECT 1"}),
             QString());
    // sqlite_sequence (made by autoincrement) is a system table, not one of ours.
    QCOMPARE(db.tables(), QStringList{QStringLiteral("odd \"name")});
    QCOMPARE(db.tables(QSql::Views), QStringList{QStringLiteral("w")});
    QVERIFY(db.tables(QSql::SystemTables).contains(QStringLiteral("sqlite_sequence")));
    QCOMPARE(db.record(QStringLiteral("odd \"name")).count(), 2);
    // The keyless driver writes a plain SQLite file.
    db.close();
    QVERIFY(head(path(QStringLiteral("schema.db"))).startsWith("SQLite format 3"));

    // Both driver names open: still one SQLite library in the process.
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    QVERIFY(mapped.contains("libsqlcipher"));
    QVERIFY2(!mapped.contains("libsqlite3"), "a second SQLite library is mapped");
    QVERIFY2(!mapped.contains("libqsqlite"), "Qt's SQLite plug-in is mapped");
}

QTEST_GUILESS_MAIN(TestSqlCipherDriver)
#include "tst_sqlcipherdriver.moc"
