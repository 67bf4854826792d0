#include "store/sqlcipherkeys.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <openssl/evp.h>
#include <sqlite3.h>

#include <utility>

namespace {
// Keys of files opened by this process; more files than this in one process (test runs) start
// over rather than grow without end.
constexpr int kMostRemembered = 64;

// The salt in the first bytes of the file `db` has open, read through SQLite's own file object.
// Never through a descriptor of our own: closing any descriptor of a file drops every POSIX lock
// the process holds on it, SQLite's included, and a connection closing after that would take
// itself for the last one and delete the write-ahead log the others still write to.
QByteArray fileSalt(sqlite3* db)
{
    sqlite3_file* file = nullptr;
    if (!db || sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods)
        return QByteArray();
    QByteArray salt(SqlCipherKeys::kSaltBytes, '\0');
    // A new file is shorter: SQLite reports a short read, and the file has no salt yet.
    if (file->pMethods->xRead(file, salt.data(), salt.size(), 0) != SQLITE_OK)
        return QByteArray();
    return salt;
}

// The salt of the file at `path`, from a connection of its own that creates nothing; SQLite
// keeps the descriptor open while another connection of the process holds locks on the file.
QByteArray fileSalt(const QString& path)
{
    sqlite3* db = nullptr;
    QByteArray salt;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        salt = fileSalt(db);
    sqlite3_close(db);
    return salt;
}

QByteArray randomSalt()
{
    QByteArray salt(SqlCipherKeys::kSaltBytes, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()),
                                          SqlCipherKeys::kSaltBytes / int(sizeof(quint32)));
    return salt;
}
} // namespace

SqlCipherKeys::State& SqlCipherKeys::state()
{
    static State* const kept = new State;
    return *kept;
}

QByteArray SqlCipherKeys::pragmaValue(sqlite3* db, const QString& path, const QString& passphrase)
{
    QByteArray salt = fileSalt(db);
    if (salt.isEmpty())
        salt = newFileSalt(path);
    QByteArray raw = key(salt, passphrase);
    if (raw.isEmpty())
        return QByteArray();
    QByteArray value = "x'" + raw.toHex() + salt.toHex() + "'";
    raw.fill('\0');
    return value;
}

void SqlCipherKeys::prepare(const QString& path, const QString& passphrase)
{
    QByteArray raw = key(reservedSalt(path), passphrase);
    raw.fill('\0');
}

QByteArray SqlCipherKeys::takeSpareSalt(State& st)
{
    return st.spareSalt.isEmpty() ? randomSalt() : std::exchange(st.spareSalt, QByteArray());
}

void SqlCipherKeys::prepareNewFile(const QString& passphrase)
{
    QByteArray salt;
    {
        State& st = state();
        std::lock_guard<std::mutex> lock(st.mutex);
        if (st.spareSalt.isEmpty())
            st.spareSalt = randomSalt();
        salt = st.spareSalt;
    }
    QByteArray raw = key(salt, passphrase);
    raw.fill('\0');
}

QByteArray SqlCipherKeys::newFileSalt(const QString& path)
{
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    // A new file takes the salt chosen for it ahead once; a file made again later gets another.
    if (st.newFileSalts.contains(path))
        return st.newFileSalts.take(path);
    return takeSpareSalt(st);
}

QByteArray SqlCipherKeys::reservedSalt(const QString& path)
{
    const QByteArray salt = fileSalt(path);
    if (!salt.isEmpty())
        return salt;
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    QByteArray& chosen = st.newFileSalts[path];
    if (chosen.isEmpty())
        chosen = takeSpareSalt(st);
    return chosen;
}

QByteArray SqlCipherKeys::key(const QByteArray& salt, const QString& passphrase)
{
    QByteArray secret = passphrase.toUtf8();
    const QByteArray id = salt + QCryptographicHash::hash(secret, QCryptographicHash::Sha256);
    std::shared_future<QByteArray> known;
    std::promise<QByteArray> promise;
    bool derives = false;
    State& st = state();
    {
        std::lock_guard<std::mutex> lock(st.mutex);
        auto it = st.keys.find(id);
        if (it == st.keys.end()) {
            if (st.keys.size() >= kMostRemembered)
                st.keys.clear();
            it = st.keys.insert(id, promise.get_future().share());
            derives = true;
        }
        known = it.value();
    }
    if (derives) {
        const QByteArray raw = derive(secret, salt);
        promise.set_value(raw);
        if (raw.isEmpty()) {
            std::lock_guard<std::mutex> lock(st.mutex);
            st.keys.remove(id);
        }
    }
    secret.fill('\0');
    return known.get();
}

QByteArray SqlCipherKeys::derive(const QByteArray& passphrase, const QByteArray& salt)
{
    QByteArray raw(kKeyBytes, '\0');
    const int ok = PKCS5_PBKDF2_HMAC_SHA1(passphrase.constData(), passphrase.size(),
                                          reinterpret_cast<const unsigned char*>(salt.constData()),
                                          salt.size(), kRounds, kKeyBytes,
                                          reinterpret_cast<unsigned char*>(raw.data()));
    return ok == 1 ? raw : QByteArray();
}
