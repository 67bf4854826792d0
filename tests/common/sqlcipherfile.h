#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// A client's encrypted database read from outside with the `sqlcipher` shell, as an
// administrator would: the program keeps running and writing it (its WAL is read too).
class SqlCipherFile
{
public:
    explicit SqlCipherFile(const QString& path) : m_path(path) {}

    // The rows of one query, columns in order; empty with `ok` false when the file is missing,
    // the key is wrong or the query fails.
    QVector<QStringList> rows(const QString& sql, bool* ok = nullptr) const;
    // The first column of the first row as a number; -1 when the query gives none.
    qint64 number(const QString& sql) const;
    // The first column of every row.
    QStringList column(const QString& sql) const;

private:
    QString m_path;
};
