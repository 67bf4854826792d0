#include "common/typed.h"
#include "store/sqlcipherdriver.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

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

struct StatementRow
{
    QString sql;
    QVariant values; // a list binds by position, a map by name
    Outcome expected;
};

} // namespace

Q_DECLARE_METATYPE(StatementRow)

// The QtSql driver over SQLCipher, through the public QtSql API only, on real files.
class TestSqlCipherDriver : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QStringList m_connections;

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

    // Bound values, and one row for each path a failure takes (prepare, bind, step, and more
    // than one statement); the connection goes on working after a failure.
    void statements_data()
    {
        QTest::addColumn<StatementRow>("row");
        const QString insert = "INSERT INTO r (a, b, c) VALUES (?, ?, ?)";
        const QString injection = "it's; DROP TABLE r; --";
        QTest::newRow("positional")
            << StatementRow{insert, QVariantList{1, "x", 2.5}, {true, "", 1, {1, "x", 2.5}}};
        QTest::newRow("named used twice, bound out of order")
            << StatementRow{"INSERT INTO r (a, b, c) VALUES (:z, :a, :z)",
                            QVariantMap{{":z", 7}, {":a", "y"}},
                            {true, "", 1, {7, "y", 7.0}}};
        QTest::newRow("colon and question mark inside quotes")
            << StatementRow{"INSERT INTO r (a, b, c) VALUES (?, 'a:b?', ?)",
                            QVariantList{4, 0.5},
                            {true, "", 1, {4, "a:b?", 0.5}}};
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
        QSqlDatabase db = openDb("rows");
        QVERIFY(QSqlQuery(db).exec("CREATE TABLE r (id INTEGER PRIMARY KEY, a INTEGER, b TEXT "
                                   "NOT NULL DEFAULT '', c REAL)"));
        QVERIFY(QSqlQuery(db).exec("INSERT INTO r (a) VALUES (1), (2), (3)"));
        QSqlQuery query(db);
        const bool prepared = query.prepare(row.sql);
        for (const QVariant& value : row.values.toList())
            query.addBindValue(value);
        const QVariantMap named = row.values.toMap();
        for (auto it = named.cbegin(); it != named.cend(); ++it)
            query.bindValue(it.key(), it.value());
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
        // Transactions do not nest; a rollback undoes.
        QVERIFY(db.transaction() && !db.transaction());
        QVERIFY(query.exec("DELETE FROM v"));
        QVERIFY(db.rollback() && !db.rollback());
        QCOMPARE(firstRow(db, "SELECT count(*) FROM v"), QVariantList{2});
    }

    void keys_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("quote in password") << "it's'';--";
        QTest::newRow("non-ASCII password") << "비밀번호";
    }

    void keys()
    {
        QFETCH(QString, password);
        const QString file = m_dir.filePath(QTest::currentDataTag() + QString(".db"));
        QVERIFY(QSqlQuery(openDb("keyed", "SQLITECIPHER", password, file))
                    .exec("CREATE TABLE secret AS SELECT 'words' AS t"));
        cleanup();
        // A wrong key fails open() itself, with a clear message; so does no key at all.
        QSqlDatabase wrong = openDb("wrong", "SQLITECIPHER", password + "x", file);
        QVERIFY(!wrong.isOpen());
        QVERIFY2(wrong.lastError().text().contains("wrong key"),
                 qPrintable(wrong.lastError().text()));
        QVERIFY(!openDb("nokey", "QSQLITE", QString(), file).isOpen());
        QCOMPARE(firstRow(openDb("again", "SQLITECIPHER", password, file), "SELECT t FROM secret"),
                 QVariantList{"words"});
    }

    // Both driver names open, and the process holds one SQLite library.
    void bothNamesOneSqliteLibrary()
    {
        QVERIFY(openDb("keyed").isOpen());
        QSqlDatabase db = openDb("plain", "QSQLITE", QString());
        QVERIFY(QSqlQuery(db).exec("CREATE TABLE \"odd \"\"name\" (t TEXT NOT NULL)"));
        QCOMPARE(db.tables(), QStringList{"odd \"name"});
        db.close();
        QFile raw(m_dir.filePath("plain.db"));
        QVERIFY(raw.open(QIODevice::ReadOnly) && raw.read(16).startsWith("SQLite format 3"));
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
