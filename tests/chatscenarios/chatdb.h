#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// A client's encrypted database read from outside with the `sqlcipher` shell while the program
// keeps writing it.
class ChatDb
{
public:
    explicit ChatDb(const QString& path) : m_path(path) {}

    // The rows of one query, columns in order; empty when the file is missing, the key is wrong
    // or the query fails.
    QVector<QStringList> rows(const QString& sql) const;
    // The first column of the first row as a number; -1 when the query gives none.
    qint64 number(const QString& sql) const;

private:
    QString m_path;
};
