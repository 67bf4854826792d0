#pragma once

#include <QtGlobal>

class DBManager;

// Base of every store record: the in-memory synchronisation state, the row's local id and the
// DBManager whose connection the record's operations borrow. Records are plain values, copied
// freely; they never own a connection.
class Content
{
public:
    explicit Content(DBManager* dbManager = nullptr) : m_dbManager(dbManager) {}
    virtual ~Content();
    Content(const Content&) = default;
    Content& operator=(const Content&) = default;
    Content(Content&&) = default;
    Content& operator=(Content&&) = default;

    // data_state: one of DataState (store/dbtypes.h)
    int dataState() const { return m_dataState; }
    void setDataState(int state) { m_dataState = state; }
    // _id: 0 or less for a record that was never stored
    qint64 id() const { return m_id; }
    void setId(qint64 id) { m_id = id; }
    DBManager* dbManager() const { return m_dbManager; }
    void setDbManager(DBManager* dbManager) { m_dbManager = dbManager; }

protected:
    int m_dataState = 0;
    qint64 m_id = 0;
    DBManager* m_dbManager = nullptr;
};
