#include "store/sqlcipherkeys.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <openssl/evp.h>

namespace {
// Keys of files opened by this process; more files than this in one process (test runs) start
// over rather than grow without end.
constexpr int kMostRemembered = 64;

QByteArray fileSalt(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray salt = file.read(SqlCipherKeys::kSaltBytes);
    return salt.size() == SqlCipherKeys::kSaltBytes ? salt : QByteArray();
}

QByteArray randomSalt()
{
    QByteArray salt(SqlCipherKeys::kSaltBytes, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()),
                                          SqlCipherKeys::kSaltBytes / int(sizeof(quint32)));
    return salt;
}
} // namespace

std::mutex SqlCipherKeys::s_mutex;
QHash<QByteArray, std::shared_future<QByteArray>> SqlCipherKeys::s_keys;
QHash<QString, QByteArray> SqlCipherKeys::s_newFileSalts;

QByteArray SqlCipherKeys::keySpec(const QString& path, const QString& passphrase)
{
    const QByteArray salt = saltFor(path, false);
    QByteArray raw = key(salt, passphrase);
    if (raw.isEmpty())
        return QByteArray();
    QByteArray spec = "x'" + raw.toHex() + salt.toHex() + "'";
    raw.fill('\0');
    return spec;
}

void SqlCipherKeys::prepare(const QString& path, const QString& passphrase)
{
    QByteArray raw = key(saltFor(path, true), passphrase);
    raw.fill('\0');
}

QByteArray SqlCipherKeys::saltFor(const QString& path, bool reserve)
{
    const QByteArray salt = fileSalt(path);
    if (!salt.isEmpty())
        return salt;
    std::lock_guard<std::mutex> lock(s_mutex);
    // A new file takes the salt chosen for it ahead once; a file made again later gets another.
    if (!reserve)
        return s_newFileSalts.contains(path) ? s_newFileSalts.take(path) : randomSalt();
    QByteArray& chosen = s_newFileSalts[path];
    if (chosen.isEmpty())
        chosen = randomSalt();
    return chosen;
}

QByteArray SqlCipherKeys::key(const QByteArray& salt, const QString& passphrase)
{
    QByteArray secret = passphrase.toUtf8();
    const QByteArray id = salt + QCryptographicHash::hash(secret, QCryptographicHash::Sha256);
    std::shared_future<QByteArray> known;
    std::promise<QByteArray> promise;
    bool derives = false;
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        auto it = s_keys.find(id);
        if (it == s_keys.end()) {
            if (s_keys.size() >= kMostRemembered)
                s_keys.clear();
            it = s_keys.insert(id, promise.get_future().share());
            derives = true;
        }
        known = it.value();
    }
    if (derives) {
        const QByteArray raw = derive(secret, salt);
        promise.set_value(raw);
        if (raw.isEmpty()) {
            std::lock_guard<std::mutex> lock(s_mutex);
            s_keys.remove(id);
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
