#include "sqlciphercli.h"

#include <QProcess>

QStringList SqlCipherCli::run(const QString& file, const QString& key, const QString& script,
                              QString* error)
{
    QString quotedKey = key;
    quotedKey.replace(QLatin1Char('\''), QLatin1String("''"));
    QProcess tool;
    tool.start(QStringLiteral("sqlcipher"), {QStringLiteral("-batch"), file});
    if (!tool.waitForStarted()) {
        if (error)
            *error = QStringLiteral("sqlcipher did not start");
        return {};
    }
    tool.write((QStringLiteral("PRAGMA key = '") + quotedKey + QStringLiteral("';\n") + script +
                QLatin1Char('\n'))
                   .toUtf8());
    tool.closeWriteChannel();
    tool.waitForFinished(60000);
    if (error)
        *error = QString::fromUtf8(tool.readAllStandardError()).trimmed();
    return QString::fromUtf8(tool.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
