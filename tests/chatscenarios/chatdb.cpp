#include "chatscenarios/chatdb.h"

#include <QFile>
#include <QProcess>

namespace {
// The program's key for every account database.
const char* const kKey = "dravik_!!!";
// Neither a tab nor a line break: chat texts may hold both.
const QChar kSeparator(0x1f);
const QChar kRowEnd(0x1e);
} // namespace

QVector<QStringList> ChatDb::rows(const QString& sql) const
{
    if (!QFile::exists(m_path))
        return {};
    QProcess p;
    p.start(QStringLiteral("sqlcipher"),
            {"-batch", "-bail", "-noheader", "-list", "-separator", QString(kSeparator), "-newline",
             QString(kRowEnd), m_path});
    // The key pragma prints "ok", which must not count as a row.
    p.write(QStringLiteral(".output /dev/null\nPRAGMA key='%1';\nPRAGMA busy_timeout=5000;\n"
                           ".output stdout\n%2;\n")
                .arg(QLatin1String(kKey), sql)
                .toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(15000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    QVector<QStringList> result;
    for (const QString& row :
         QString::fromUtf8(p.readAllStandardOutput()).split(kRowEnd, Qt::SkipEmptyParts))
        result.append(row.split(kSeparator));
    return result;
}

qint64 ChatDb::number(const QString& sql) const
{
    const QVector<QStringList> r = rows(sql);
    bool ok = false;
    const qint64 value = r.isEmpty() ? -1 : r.first().value(0).toLongLong(&ok);
    return ok ? value : -1;
}
