#include "store/sqlcipherdriver.h"
#include "storefixture.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A write as its caller sees it, and the row it made (a, b and c of row 4).
struct WriteResult
{
    int affected = 0;
    QString lastInsertId;
    QString a, b, c;
    bool operator==(const WriteResult& o) const
    {
        return affected == o.affected && lastInsertId == o.lastInsertId && a == o.a && b == o.b &&
               c == o.c;
    }
};

char* toString(const WriteResult& w)
{
    return qstrdup(QStringLiteral("{affected=%1 lastInsertId=%2 a=%3 b=\"%4\" c=%5}")
                       .arg(w.affected)
                       .arg(w.lastInsertId, w.a, w.b, w.c)
                       .toUtf8()
                       .constData());
}

} // namespace

Q_DECLARE_METATYPE(WriteResult)

// The QtSql driver over SQLCipher, through the public QtSql API only, on real files.
class TestSqlCipherDriver : public QObject
{
    Q_OBJECT
    // A connection on its own file (one per data row) unless `file` is given.
    QSqlDatabase openDb(const QString& name, const QString& driver = "SQLITECIPHER",
                        const QString& password = "k", const QString& file = QString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
        m_connections << name;
        db.setDatabaseName(file.isEmpty() ? path(name + QTest::currentDataTag() + ".db") : file);
        db.setPassword(password);
        db.open();
        return db;
    }
    QString path(const QString& file) const { return m_dir.filePath(file); }
    // A connection on a table r of three named rows (ids 1 to 3).
    QSqlDatabase openWithRows(const QString& name)
    {
        QSqlDatabase db = openDb(name);
        QSqlQuery query(db);
        const bool made =
            query.exec("CREATE TABLE r (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT UNIQUE ON "
                       "CONFLICT REPLACE, must TEXT NOT NULL DEFAULT '', a INTEGER, b TEXT, c "
                       "REAL)") &&
            query.exec("INSERT INTO r (name) VALUES ('a'), ('b'), ('c')");
        [&] { QVERIFY2(made, qPrintable(query.lastError().text())); }();
        return db;
    }
    // The first error of preparing, binding and running `sql`; none when it ran.
    static QSqlError firstError(const QSqlDatabase& db, const QString& sql, const QVariant& values)
    {
        QSqlQuery query(db);
        if (!query.prepare(sql))
            return query.lastError();
        QSqlQuery run = bound(db, sql, values);
        run.exec();
        return run.lastError();
    }
    // A query prepared with `sql`, bound by position from a list or by name from a map.
    static QSqlQuery bound(const QSqlDatabase& db, const QString& sql, const QVariant& values)
    {
        QSqlQuery query(db);
        query.prepare(sql);
        for (const QVariant& value : values.toList())
            query.addBindValue(value);
        const QVariantMap named = values.toMap();
        for (auto it = named.cbegin(); it != named.cend(); ++it)
            query.bindValue(it.key(), it.value());
        return query;
    }

    QTemporaryDir m_dir;
    QStringList m_connections;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        SqlCipherDriver::registerDrivers();
    }

    void cleanup()
    {
        for (const QString& name : qAsConst(m_connections)) {
            QSqlDatabase::database(name, false).close();
            QSqlDatabase::removeDatabase(name);
        }
        m_connections.clear();
    }

    void statements_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariant>("values"); // a list binds by position, a map by name
        QTest::addColumn<WriteResult>("expected");

        const QString insert = QStringLiteral("INSERT INTO r (a, b, c) VALUES (?, ?, ?)");
        QTest::newRow("positional") << insert << QVariant(QVariantList{1, "x", 2.5})
                                    << WriteResult{1, "4", "1", "x", "2.5"};
        QTest::newRow("named used twice, bound out of order")
            << "INSERT INTO r (a, b, c) VALUES (:z, :a, :z)"
            << QVariant(QVariantMap{{":z", 7}, {":a", "y"}})
            << WriteResult{1, "4", "7", "y", "7.0"};
        QTest::newRow("colon and question mark inside quotes")
            << "INSERT INTO r (a, b, c) VALUES (?, 'a:b?', ?)" << QVariant(QVariantList{4, 0.5})
            << WriteResult{1, "4", "4", "a:b?", "0.5"};
        QTest::newRow("quote in a bound text")
            << insert << QVariant(QVariantList{5, "it's; DROP TABLE r; --", 0})
            << WriteResult{1, "4", "5", "it's; DROP TABLE r; --", "0.0"};
        QTest::newRow("create table")
            << "CREATE TABLE other (x)" << QVariant() << WriteResult{0, "", "", "", ""};
    }

    void statements()
    {
        QFETCH(QString, sql);
        QFETCH(QVariant, values);
        QFETCH(WriteResult, expected);

        QSqlDatabase db = openWithRows("rows");
        QSqlQuery query = bound(db, sql, values);
        QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
        const QList<SqlRow> row = table(db, "SELECT a, b, printf('%.1f', c) FROM r WHERE id = 4");
        QCOMPARE(
            (WriteResult{query.numRowsAffected(), query.lastInsertId().toString(),
                         row.value(0).columns.value(0).second, row.value(0).columns.value(1).second,
                         row.value(0).columns.value(2).second}),
            expected);
        QCOMPARE(query.lastQuery(), sql);
    }

    void statementFailures_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariant>("values");
        QTest::addColumn<QString>("error"); // a part of the driver's text

        QTest::newRow("missing table")
            << "SELECT * FROM nowhere" << QVariant() << "no such table: nowhere";
        QTest::newRow("not null") << "INSERT INTO r (must) VALUES (?)"
                                  << QVariant(QVariantList{QVariant()})
                                  << "NOT NULL constraint failed";
        QTest::newRow("too few values")
            << "INSERT INTO r (must) VALUES (?)" << QVariant() << "Parameter count mismatch";
        QTest::newRow("two statements")
            << "SELECT 1; SELECT 2" << QVariant() << "multiple statements";
    }

    void statementFailures()
    {
        QFETCH(QString, sql);
        QFETCH(QVariant, values);
        QFETCH(QString, error);

        QSqlDatabase db = openWithRows("rows");
        const QSqlError first = firstError(db, sql, values);
        QCOMPARE(first.type() == QSqlError::NoError, false);
        QVERIFY2(first.databaseText().contains(error, Qt::CaseInsensitive),
                 qPrintable(first.text()));
        // The connection goes on working after a failed statement.
        QVERIFY(QSqlQuery(db).exec("SELECT 1"));
    }

    void valuesScrollingAndTransactions()
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
        QVERIFY(query.exec("SELECT i, t, r, b FROM v ORDER BY rowid"));
        QCOMPARE(query.record().field(0).type(), QVariant::LongLong);
        QVERIFY(query.next());
        QCOMPARE((QVariantList{query.value(0), query.value(1), query.value(2), query.value(3)}),
                 values);
        // NULL stays NULL; an empty text or blob does not become one.
        QVERIFY(query.next());
        QCOMPARE((QList<bool>{query.isNull(0), query.isNull(1), query.isNull(2), query.isNull(3)}),
                 (QList<bool>{true, false, true, false}));
        QVERIFY(!query.next());

        // Scrolling, and the same statement text twice at once, forward only: each query keeps
        // its own position.
        QCOMPARE(rows(db, "CREATE TABLE s (n INTEGER)"), QStringList());
        QCOMPARE(rows(db, "WITH RECURSIVE c(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM c WHERE "
                          "n < 9) INSERT INTO s SELECT n FROM c"),
                 QStringList());
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
        QVERIFY(query.exec("DELETE FROM s"));
        QVERIFY(db.rollback() && !db.rollback());
        QCOMPARE(rows(db, "SELECT count(*) FROM s"), QStringList{"10"});

        // Closing the connection finalises a pending statement; the query only stops working.
        QVERIFY(query.exec(all) && query.next());
        db.close();
        QVERIFY(!query.next());
        QTest::ignoreMessage(QtWarningMsg, "QSqlQuery::exec: database not open");
        QVERIFY(!query.exec(all));
    }

    void keys_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("the program's password") << "dravik_!!!";
        QTest::newRow("quote in password") << "it's'';--";
        QTest::newRow("non-ASCII password") << "비밀번호";
    }

    void keys()
    {
        QFETCH(QString, password);
        const QString file = path(QStringLiteral("keyed-%1.db").arg(QTest::currentDataTag()));
        {
            QSqlDatabase db = openDb("keyed", "SQLITECIPHER", password, file);
            QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
            QCOMPARE(rows(db, "CREATE TABLE secret (t TEXT)"), QStringList());
            QCOMPARE(rows(db, "INSERT INTO secret VALUES ('words')") +
                         rows(db, "PRAGMA journal_mode") + rows(db, "PRAGMA synchronous"),
                     (QStringList{"wal", "1"}));
        }
        cleanup();

        // A wrong key fails open() itself, with a clear message; so does no key at all.
        QSqlDatabase wrong = openDb("wrong", "SQLITECIPHER", password + "x", file);
        QVERIFY(!wrong.isOpen());
        QVERIFY2(wrong.lastError().text().contains(QLatin1String("wrong key")),
                 qPrintable(wrong.lastError().text()));
        QCOMPARE(wrong.lastError().type(), QSqlError::ConnectionError);
        QVERIFY(!openDb("nokey", "QSQLITE", QString(), file).isOpen());
        QCOMPARE(rows(openDb("again", "SQLITECIPHER", password, file), "SELECT t FROM secret"),
                 QStringList{"words"});
    }

    void schemaAndOneSqliteLibrary()
    {
        QVERIFY(openDb("maps-keyed").isOpen());
        QSqlDatabase db = openDb("schema", "QSQLITE", QString());
        QCOMPARE(rows(db, "CREATE TABLE \"odd \"\"name\" (_id INTEGER primary key autoincrement, "
                          "t TEXT NOT NULL)") +
                     rows(db, "CREATE VIEW w AS SELECT 1"),
                 QStringList());
        // sqlite_sequence (made by autoincrement) is a system table, not one of ours.
        QCOMPARE(db.tables(), QStringList{"odd \"name"});
        QCOMPARE(db.tables(QSql::Views), QStringList{"w"});
        QVERIFY(db.tables(QSql::SystemTables).contains("sqlite_sequence"));
        QCOMPARE(db.record("odd \"name").count(), 2);
        // The keyless driver writes a plain SQLite file.
        db.close();
        QFile raw(path("schema.db"));
        QVERIFY(raw.open(QIODevice::ReadOnly) && raw.read(16).startsWith("SQLite format 3"));

        // Both driver names open: still one SQLite library in the process.
        QFile maps("/proc/self/maps");
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        QVERIFY(mapped.contains("libsqlcipher"));
        QVERIFY2(!mapped.contains("libsqlite3"), "a second SQLite library is mapped");
        QVERIFY2(!mapped.contains("libqsqlite"), "Qt's SQLite plug-in is mapped");
    }
};

QTEST_GUILESS_MAIN(TestSqlCipherDriver)
#include "tst_sqlcipherdriver.moc"
