#include "common/testenv.h"

#include <QDir>

namespace {
const char* const kVariables[][2] = {{"HOME", "home"},
                                     {"XDG_DATA_HOME", "home/.local/share"},
                                     {"XDG_CONFIG_HOME", "home/.config"},
                                     {"XDG_CACHE_HOME", "home/.cache"},
                                     {"XDG_RUNTIME_DIR", "runtime"},
                                     {"XDG_DOCUMENTS_DIR", "home/Documents"},
                                     {"TMPDIR", "tmp"}};
} // namespace

TestEnv::TestEnv()
{
    if (!m_dir.isValid())
        return;
    for (const auto& pair : kVariables)
        QDir().mkpath(path(QString::fromLatin1(pair[1])));
    QFile::setPermissions(path(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QProcessEnvironment TestEnv::processEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& pair : kVariables)
        env.insert(QString::fromLatin1(pair[0]), path(QString::fromLatin1(pair[1])));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("LC_ALL"));
    return env;
}

void TestEnv::applyToCurrentProcess() const
{
    for (const auto& pair : kVariables)
        qputenv(pair[0], path(QString::fromLatin1(pair[1])).toLocal8Bit());
}

QString TestEnv::sourceDir()
{
    return qEnvironmentVariable("MT_SOURCE_DIR", QStringLiteral(MT_DEFAULT_SOURCE_DIR));
}

QByteArray TestEnv::contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}
