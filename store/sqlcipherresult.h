#pragma once

#include <QSqlRecord>
#include <QSqlResult>
#include <QVariant>
#include <QVector>

struct sqlite3_stmt;
class SqlCipherDriver;

// One query of a SqlCipherDriver connection: a prepared SQLite statement, its bound values and
// the rows it yields. Forward-only queries keep one row; scrollable ones keep every row read so
// far, so that they can move back.
class SqlCipherResult : public QSqlResult
{
public:
    explicit SqlCipherResult(const SqlCipherDriver* driver);
    ~SqlCipherResult() override;

    // Gives the statement back (to the driver's cache, or finalised when the connection closes).
    void releaseStatement(bool connectionClosing);
    QVariant handle() const override;

protected:
    bool reset(const QString& query) override;
    bool prepare(const QString& query) override;
    bool exec() override;
    void bindValue(int index, const QVariant& value, QSql::ParamType type) override;
    using QSqlResult::bindValue;
    QVariant data(int index) override;
    bool isNull(int index) override;
    bool fetch(int index) override;
    bool fetchNext() override;
    bool fetchFirst() override;
    bool fetchLast() override;
    int size() override;
    int numRowsAffected() override;
    QVariant lastInsertId() const override;
    QSqlRecord record() const override;
    void detachFromResultSet() override;

private:
    const SqlCipherDriver* cipherDriver() const;
    // Forgets the rows, the columns and the state of the previous run.
    void clearRun();
    bool bindAll();
    bool nextRow(QVector<QVariant>& row);
    void readRow(QVector<QVariant>& row) const;
    void buildRecord() const;
    const QVector<QVariant>* currentRow() const;

    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
    bool m_isInsert = false; // an INSERT or REPLACE: lastInsertId() is set after it
    // Made on the first record() call of each run: most statements are read by position only,
    // and naming and typing every column would cost more than the statement itself.
    mutable QSqlRecord m_record;
    mutable bool m_recordBuilt = false;
    QVector<QVariant> m_row;           // forward-only: the current row
    QVector<QVector<QVariant>> m_rows; // scrollable: every row read so far
    QVector<QVariant> m_pending;       // the row the first step of exec() produced
    bool m_hasPending = false;
    bool m_done = true;
    int m_affected = -1;
    QVariant m_lastInsertId;
};
