#pragma once

#include <QString>

// A store file made ahead, with its key's salt, its switch to the write-ahead log and its
// tables, while the login page waits for the user. A first login on this computer renames it
// to the account's name instead of making a new file on the GUI thread: that took three new
// files and several disk syncs while the room list, read meanwhile, waited for the thread.
// One spare, in the stores' folder; any thread.
class DBSpareStore
{
public:
    // Makes the spare, keyed with `passphrase` and with the tables of `dbVersion`, unless this
    // process has made one there already; a spare left by an earlier process is made anew (it
    // may have been cut short). True when a spare is ready.
    static bool prepare(const QString& passphrase, int dbVersion);
    // The spare's path, made or not.
    static QString path();
    // A spare is ready to be taken.
    static bool isReady();
    // Renames the spare to `target`; false, with nothing changed, when no spare is ready, one
    // is being made, or `target` exists.
    static bool take(const QString& target);
};
