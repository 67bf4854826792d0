#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <future>
#include <mutex>

struct sqlite3;

// The raw keys of SQLCipher files, derived from a passphrase as SQLCipher 3 derives them
// (PBKDF2-HMAC-SHA1 over the file's 16-byte salt, 64,000 rounds) and remembered for the process.
// The derivation costs about 50 ms of CPU, and a login opens five connections onto its file one
// after the other (the window's, the directory's, the room list's and two for the messaging
// session), the first three on the way to the room list: with the raw key only the first pays it,
// and a login has it derived while its request is in flight. A file keyed this way is the file
// SQLCipher makes from the passphrase: the sqlcipher tool opens it with the passphrase.
//
// Any thread; a key being derived is waited for, never derived twice.
class SqlCipherKeys
{
public:
    static constexpr int kSaltBytes = 16;
    static constexpr int kKeyBytes = 32;
    static constexpr int kRounds = 64000;

    // The value for "PRAGMA key" that opens the file at `path`, which the connection `db` about
    // to be keyed has open, with `passphrase`: x'<key><salt>' in hexadecimal, with the salt in
    // the file's first bytes or, for a file still without one (SQLCipher writes it there), the
    // salt prepare() chose for the path or a new random one. Empty when no key can be derived.
    static QByteArray pragmaValue(sqlite3* db, const QString& path, const QString& passphrase);
    // Derives the key pragmaValue() will need for the file, now.
    static void prepare(const QString& path, const QString& passphrase);
    // Derives, now, the key of the next file made that has no salt chosen for it yet: a login
    // page that waits for its account derives it while the user types, and a first login on
    // this computer then opens its new file without a derivation.
    static void prepareNewFile(const QString& passphrase);

private:
    static QByteArray key(const QByteArray& salt, const QString& passphrase);
    static QByteArray newFileSalt(const QString& path);
    static QByteArray reservedSalt(const QString& path);
    static QByteArray derive(const QByteArray& passphrase, const QByteArray& salt);

    struct State
    {
        std::mutex mutex;
        // By salt and a digest of the passphrase (never the passphrase itself).
        QHash<QByteArray, std::shared_future<QByteArray>> keys;
        // The salts chosen ahead for files that do not have one yet.
        QHash<QString, QByteArray> newFileSalts;
        // A salt chosen ahead for whichever file is made next; empty when none is.
        QByteArray spareSalt;
    };
    // Never destroyed: a key derived ahead on a pool thread may still be running while the
    // process exits.
    static State& state();
    // The spare salt, which only one file gets, or a new random one; `st` locked.
    static QByteArray takeSpareSalt(State& st);
};
