#pragma once

#include <sqlite3.h>

#include <atomic>

// Counts the syncs SQLite asks of write-ahead log files, by becoming the default VFS: a shim over
// the real one that hands every log file a copy of its methods with a counting xSync. Whether a
// commit reached the disk cannot be seen any other way short of pulling the power.
class SyncRecorder
{
public:
    // Once per process, before the store under test opens its file.
    static void install()
    {
        static const bool installed = [] {
            s_real = sqlite3_vfs_find(nullptr);
            s_vfs = *s_real;
            s_vfs.zName = "syncrecorder";
            s_vfs.xOpen = &open;
            return sqlite3_vfs_register(&s_vfs, 1) == SQLITE_OK;
        }();
        (void)installed;
    }
    static int logSyncs() { return s_logSyncs.load(); }

private:
    static int open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out)
    {
        const int rc = s_real->xOpen(s_real, name, file, flags, out);
        if (rc == SQLITE_OK && (flags & SQLITE_OPEN_WAL) && file->pMethods) {
            s_methods = *file->pMethods;
            s_original = file->pMethods;
            s_methods.xSync = &sync;
            file->pMethods = &s_methods;
        }
        return rc;
    }
    static int sync(sqlite3_file* file, int flags)
    {
        ++s_logSyncs;
        return s_original->xSync(file, flags);
    }

    static inline sqlite3_vfs* s_real = nullptr;
    static inline sqlite3_vfs s_vfs{};
    static inline sqlite3_io_methods s_methods{};
    static inline const sqlite3_io_methods* s_original = nullptr;
    static inline std::atomic<int> s_logSyncs{0};
};
