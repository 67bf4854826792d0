#include "common/sqlcipherfile.h"

#include <QFile>
#include <QProcess>

namespace {
// The program's key for every account database.
const char* const kKey = "dravik_!!!";
// Neither a tab nor a line break: texts of chats may hold both.
const QChar kSeparator(0x1f);
const QChar kRowEnd(0x1e);
} // namespace

QVector<QStringList> SqlCipherFile::rows(const QString& sql, bool* ok) const
{
    if (ok)
        *ok = false;
    if (!QFile::exists(m_path))
        return {};
    QProcess p;
    p.start(QStringLiteral("sqlcipher"),
            {"-batch", "-bail", "-noheader", "-list", "-separator", QString(kSeparator), "-newline",
             QString(kRowEnd), m_path});
    // The key pragma answers "ok": it goes to /dev/null with the pragma's own output.
    const QString script = QStringLiteral(".output /dev/null\nPRAGMA key='%1';\n"
                                          "PRAGMA busy_timeout=5000;\n.output stdout\n%2;\n")
                               .arg(QLatin1String(kKey), sql);
    p.write(script.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(15000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    QVector<QStringList> result;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    for (const QString& row : out.split(kRowEnd, Qt::SkipEmptyParts))
        result.append(row.split(kSeparator));
    if (ok)
        *ok = true;
    return result;
}

qint64 SqlCipherFile::number(const QString& sql) const
{
    bool ok = false;
    const QVector<QStringList> r = rows(sql, &ok);
    bool isNumber = false;
    const qint64 value = r.isEmpty() ? -1 : r.first().value(0).toLongLong(&isNumber);
    return ok && isNumber ? value : -1;
}

QStringList SqlCipherFile::column(const QString& sql) const
{
    QStringList result;
    for (const QStringList& row : rows(sql))
        result.append(row.value(0));
    return result;
}
