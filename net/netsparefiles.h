#pragma once

#include <QByteArray>
#include <QString>

// Empty files made ahead in a folder of their own, for files that must be written in a hurry:
// on some file systems making a file (its inode) costs more than writing a picture into it, and
// a login writes the pictures of its first rows while the window waits for them. A file written
// through one is the spare, filled and renamed: no new file is made then. Process-wide and
// thread-safe; the spares left by a run are taken up by the next.
class NetSpareFiles
{
public:
    // Makes spare files in `folder` (created when missing) until it holds `count`; returns how
    // many are ready.
    static int prepare(const QString& folder, int count);
    // Writes `bytes` to `target` through a spare of the same file system. False, with nothing
    // written, when no spare is ready; false also when writing failed (the spare is gone then).
    // A target that exists already is left as it was: another writer put the same file there.
    static bool write(const QString& target, const QByteArray& bytes);
    // How many spares are ready.
    static int ready();
};
