#pragma once

#include <QString>
#include <QStringList>

// The sqlcipher command-line tool, an outside reader of the store's files.
struct SqlCipherCli
{
    // Runs `script` (statements, one per line) on `file` after keying it with `key`. Returns
    // the output lines; `error` receives the tool's complaints.
    static QStringList run(const QString& file, const QString& key, const QString& script,
                           QString* error = nullptr);
};
