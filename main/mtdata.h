#pragma once

#include "store/dbmtdata.h"

// The session object: the signed-in user's ids, keys, names, flags and options, each mirrored in
// the user's database (DBMTData). The newest instance is reachable process-wide for the
// messaging session, the request engine and the chat windows. Reads from their threads are safe
// against the writes at login and log off (see DBMTData).
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

    // The newest MTData of the process, or null once it is deleted.
    static MTData* instance();

    QString version() const { return QString::fromLatin1(kVersion); }
};
