#pragma once

#include "store/dbmtdata.h"

#include <functional>

// The session object: the signed-in user's ids, keys, names, flags and options, each mirrored in
// the user's database (DBMTData). The newest instance is reachable process-wide for the
// messaging session, the request engine and the chat windows. Reads from their threads are safe
// against the writes at login and log off (see DBMTData); against the deletion at log off they
// are safe when made through withInstance().
class MTData : public DBMTData
{
public:
    // The program version the session reports to the server.
    static constexpr const char* kVersion = "1046";

    // On a database: loads every stored value. Without one: lives in memory only (a login
    // attempt before the account's database is known).
    explicit MTData(DBManager* dbManager = nullptr);
    ~MTData() override;
    MTData(const MTData&) = delete;
    MTData& operator=(const MTData&) = delete;

    // The newest MTData of the process, or null once it is deleted. For the thread that creates
    // and deletes the session objects (the GUI thread): on any other thread the object may be
    // deleted while the pointer is in use.
    static MTData* instance();
    // Calls `read` with the newest MTData (null when there is none) while no MTData can be
    // created or deleted, so that the object outlives the call: the way threads other than the
    // GUI thread read the session. `read` must be short, and must neither create nor delete an
    // MTData.
    static void withInstance(const std::function<void(const MTData*)>& read);

    QString version() const { return QString::fromLatin1(kVersion); }
};
