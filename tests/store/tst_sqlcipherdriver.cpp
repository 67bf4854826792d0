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

// The first column of the statement's first row, as text.
QString firstValue(QSqlQuery& query, const QString& sql)
{
    if (!query.exec(sql) || !query.next())
        return QStringLiteral("failed: ") + query.lastError().text();
    return query.value(0).toString();
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
    void valuesAndNulls();
    void scrolling();
    void statements_data();
    void statements();
    void transactions();
    void keys_data();
    void keys();
    void schemaIntrospection();
    void statementsOutliveTheirConnection();
    void oneSqliteLibrary();

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
    QTest::newRow("named") << "INSERT INTO t (a, b, c) VALUES (:a, :b, :c)"
                           << QStringList{":c", ":a", ":b"}
                           << QVariantList{2.5, 1, QStringLiteral("x")} << "1|x|2.5";
    QTest::newRow("named used twice")
        << "INSERT INTO t (a, b, c) VALUES (:n, :s, :n)" << QStringList{":s", ":n"}
        << QVariantList{QStringLiteral("y"), 7} << "7|y|7.0";
    QTest::newRow("mixed, by position")
        << "INSERT INTO t (a, b, c) VALUES (?, ?, :c)" << QStringList()
        << QVariantList{3, QStringLiteral("z"), 1.0} << "3|z|1.0";
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
    QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("DROP TABLE IF EXISTS t")));
    QVERIFY(query.exec(QStringLiteral("CREATE TABLE t (a INTEGER, b TEXT, c REAL)")));
    QVERIFY2(query.prepare(insert), qPrintable(query.lastError().text()));
    for (int i = 0; i < values.size(); ++i) {
        if (names.isEmpty())
            query.addBindValue(values.at(i));
        else
            query.bindValue(names.at(i), values.at(i));
    }
    QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    QCOMPARE(query.lastQuery(), insert);
    QCOMPARE(firstValue(query, QStringLiteral("SELECT a || '|' || b || '|' || printf('%.1f', c) "
                                              "FROM t")),
             expected);
    QVERIFY(!query.next());
}

void TestSqlCipherDriver::valuesAndNulls()
{
    QSqlQuery query(openDb(QStringLiteral("values")));
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
    for (int i = 0; i < values.size(); ++i)
        QCOMPARE(query.value(i), values.at(i));
    QCOMPARE(query.value(QStringLiteral("t")), values.at(1));
    QVERIFY(query.next());
    // NULL stays NULL; an empty text or blob does not become one.
    QCOMPARE((QList<bool>{query.isNull(0), query.isNull(1), query.isNull(2), query.isNull(3)}),
             (QList<bool>{true, false, true, false}));
    QVERIFY(!query.next());
    // The columns are named when first asked for: still after the last row, and anew for the
    // next statement of the same query.
    QCOMPARE(query.record().fieldName(3), QStringLiteral("b"));
    QVERIFY(query.exec(QStringLiteral("SELECT t AS other FROM v WHERE 0")));
    QVERIFY(!query.next());
    QCOMPARE(query.record().count(), 1);
    QCOMPARE(query.record().fieldName(0), QStringLiteral("other"));
}

void TestSqlCipherDriver::scrolling()
{
    QSqlDatabase db = openDb(QStringLiteral("scroll"));
    QSqlQuery scroll(db);
    QVERIFY(scroll.exec(QStringLiteral("CREATE TABLE s (n INTEGER)")));
    QVERIFY(scroll.exec(QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 0 UNION ALL SELECT n + 1 "
                                       "FROM c WHERE n < 9) INSERT INTO s SELECT n FROM c")));
    const QString all = QStringLiteral("SELECT n FROM s ORDER BY n");
    QVERIFY(scroll.exec(all));
    QVERIFY(scroll.last() && scroll.at() == 9);
    QVERIFY(scroll.previous() && scroll.value(0).toInt() == 8);
    QVERIFY(scroll.seek(3) && scroll.value(0).toInt() == 3);
    QVERIFY(scroll.first() && scroll.value(0).toInt() == 0);
    QVERIFY(!scroll.seek(10));

    // The same statement text twice at once, forward only: each query keeps its own position.
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
    QCOMPARE(a.at(), int(QSql::AfterLastRow));
}

void TestSqlCipherDriver::statements_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QString>("result"); // rows affected|last insert id, or a part of the error

    QTest::newRow("insert") << "INSERT INTO r (name) VALUES ('d')" << QVariantList() << "1|4";
    QTest::newRow("insert or replace of an existing key")
        << "INSERT OR REPLACE INTO r (name) VALUES (?)" << QVariantList{"a"} << "1|4";
    QTest::newRow("update three") << "UPDATE r SET name = name || '!'" << QVariantList() << "3|";
    QTest::newRow("update none") << "UPDATE r SET name = 'x' WHERE id = 99" << QVariantList()
                                 << "0|";
    QTest::newRow("delete one") << "DELETE FROM r WHERE name = 'b'" << QVariantList() << "1|";
    QTest::newRow("create table") << "CREATE TABLE other (x)" << QVariantList() << "0|";
    QTest::newRow("syntax") << "SELEC 1" << QVariantList() << "syntax error";
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

    QSqlQuery query(openDb(QStringLiteral("rows")));
    QVERIFY(query.exec(QStringLiteral("DROP TABLE IF EXISTS r")));
    QVERIFY(query.exec(QStringLiteral("DROP TABLE IF EXISTS other")));
    QVERIFY(query.exec(QStringLiteral("CREATE TABLE r (id INTEGER PRIMARY KEY AUTOINCREMENT, name "
                                      "TEXT UNIQUE ON CONFLICT REPLACE, must TEXT NOT NULL "
                                      "DEFAULT '')")));
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

void TestSqlCipherDriver::transactions()
{
    QSqlDatabase db = openDb(QStringLiteral("tx"));
    QVERIFY(db.driver()->hasFeature(QSqlDriver::Transactions));
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("CREATE TABLE x (n INTEGER)")));

    QVERIFY(db.transaction());
    QVERIFY(!db.transaction()); // no nesting
    QVERIFY(query.exec(QStringLiteral("INSERT INTO x VALUES (1)")));
    QVERIFY(db.rollback());
    QVERIFY(!db.rollback());
    QVERIFY(db.transaction());
    QVERIFY(query.exec(QStringLiteral("INSERT INTO x VALUES (2)")));
    QVERIFY(db.commit());
    QCOMPARE(firstValue(query, QStringLiteral("SELECT group_concat(n) FROM x")),
             QStringLiteral("2"));
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
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("CREATE TABLE secret (t TEXT)")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO secret VALUES ('plain words here')")));
        QCOMPARE(firstValue(query, QStringLiteral("PRAGMA journal_mode")), QStringLiteral("wal"));
        QCOMPARE(firstValue(query, QStringLiteral("PRAGMA synchronous")), QStringLiteral("1"));
    }
    cleanup();

    QFile raw(file);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(!raw.read(16).startsWith("SQLite format 3"));
    raw.close();

    // A wrong key fails open() itself, with a clear message; so does no key at all.
    QSqlDatabase wrong =
        openDb(QStringLiteral("wrong"), kCipher, password + QLatin1Char('x'), file);
    QVERIFY(!wrong.isOpen());
    QVERIFY2(wrong.lastError().text().contains(QLatin1String("wrong key")),
             qPrintable(wrong.lastError().text()));
    QCOMPARE(wrong.lastError().type(), QSqlError::ConnectionError);
    QVERIFY(!openDb(QStringLiteral("nokey"), QStringLiteral("QSQLITE"), QString(), file).isOpen());
    QSqlQuery again(openDb(QStringLiteral("again"), kCipher, password, file));
    QCOMPARE(firstValue(again, QStringLiteral("SELECT t FROM secret")),
             QStringLiteral("plain words here"));
}

void TestSqlCipherDriver::schemaIntrospection()
{
    QSqlDatabase db = openDb(QStringLiteral("schema"), QStringLiteral("QSQLITE"), QString());
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("CREATE TABLE \"odd \"\"name\" (_id INTEGER primary key "
                                      "autoincrement, t TEXT NOT NULL)")));
    QVERIFY(query.exec(QStringLiteral("CREATE VIEW w AS SELECT 1")));
    // sqlite_sequence (made by autoincrement) is a system table, not one of ours.
    QCOMPARE(db.tables(), QStringList{QStringLiteral("odd \"name")});
    QCOMPARE(db.tables(QSql::Views), QStringList{QStringLiteral("w")});
    QVERIFY(db.tables(QSql::SystemTables).contains(QStringLiteral("sqlite_sequence")));
    QCOMPARE(db.record(QStringLiteral("odd \"name")).count(), 2);

    // The keyless driver writes a plain SQLite file.
    db.close();
    QFile raw(path(QStringLiteral("schema.db")));
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(raw.read(16).startsWith("SQLite format 3"));
}

void TestSqlCipherDriver::statementsOutliveTheirConnection()
{
    QSqlDatabase db = openDb(QStringLiteral("outlive"));
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("SELECT 1 UNION SELECT 2")));
    QVERIFY(query.next());
    db.close(); // finalises the pending statement; the query only stops working
    QVERIFY(!query.next());
    QTest::ignoreMessage(QtWarningMsg, "QSqlQuery::exec: database not open");
    QVERIFY(!query.exec(QStringLiteral("SELECT 1")));
}

void TestSqlCipherDriver::oneSqliteLibrary()
{
    QVERIFY(openDb(QStringLiteral("maps-keyed")).isOpen());
    QSqlDatabase plain = openDb(QStringLiteral("maps-plain"), QStringLiteral("QSQLITE"), QString());
    QVERIFY(QSqlQuery(plain).exec(QStringLiteral("CREATE TABLE m (x)")));

    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    QVERIFY(mapped.contains("libsqlcipher"));
    QVERIFY2(!mapped.contains("libsqlite3"), "a second SQLite library is mapped");
    QVERIFY2(!mapped.contains("libqsqlite"), "Qt's SQLite plug-in is mapped");
}

QTEST_GUILESS_MAIN(TestSqlCipherDriver)
#include "tst_sqlcipherdriver.moc"
