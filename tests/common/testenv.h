#pragma once

#include <QProcessEnvironment>
#include <QTemporaryDir>

// A private home: every QStandardPaths folder and the temporary folder in a fresh directory.
class TestEnv
{
public:
    TestEnv();

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    // The environment for a child process living in this home.
    QProcessEnvironment processEnvironment() const;
    // Points this process's own standard paths at the home (call before QStandardPaths is used).
    void applyToCurrentProcess() const;

    // Where the project's sources are (set by CTest).
    static QString sourceDir();
    // A file's bytes; "(unreadable)" when it cannot be read, so that a missing file never
    // passes for an empty one.
    static QByteArray contents(const QString& path);

private:
    QTemporaryDir m_dir;
};
