#include "storebenchtool.h"

#include <QByteArrayList>
#include <QProcess>

#include <cstdio>
#include <vector>

namespace StoreBenchTool {

QString markStatement()
{
    return QStringLiteral("SELECT 'mark', (julianday('now') - 2440587.5) * 86400000.0;\n");
}

QString scriptHead(const QString& key)
{
    return QStringLiteral("PRAGMA key = '") + key +
           QStringLiteral("';\nSELECT count(*) FROM sqlite_master;\n");
}

double secondsBetweenMarks(const QString& database, const QString& script)
{
    QProcess tool;
    tool.setStandardInputFile(script);
    tool.start(QStringLiteral("sqlcipher"), {QStringLiteral("-batch"), database});
    if (!tool.waitForFinished(600000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        std::fprintf(stderr, "sqlcipher failed: %s\n", tool.readAllStandardError().constData());
        return -1;
    }
    std::vector<double> marks;
    for (const QByteArray& row : tool.readAllStandardOutput().split('\n')) {
        if (row.startsWith("mark|"))
            marks.push_back(row.mid(5).toDouble());
    }
    if (marks.size() != 2) {
        std::fprintf(stderr, "sqlcipher printed %d marks instead of 2\n", int(marks.size()));
        return -1;
    }
    return (marks[1] - marks[0]) / 1000.0;
}

} // namespace StoreBenchTool
