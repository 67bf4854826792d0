#pragma once

#include <QProcessEnvironment>
#include <QTemporaryDir>

// A private home for one test: every folder the program finds through QStandardPaths (data,
// config, cache, documents, runtime) and the temporary folder point into a fresh directory, so
// tests never touch the user's files nor each other's.
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

private:
    QTemporaryDir m_dir;
};
