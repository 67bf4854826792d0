#pragma once

#include <QtGlobal>

class DBManager;

// Base of every store record: the in-memory synchronisation state, the row's local id and the
// DBManager whose connection the record's operations borrow. Records are plain values, copied
// freely; they never own a connection.
//
// A copy is the record's values without its connection: copy construction gives an unattached
// record, and copy assignment leaves the target attached to whatever it was attached to before.
// Copies are how records travel to other threads (queued signals, items, captured lambdas), and a
// connection must never follow them there; a record that is to write again is attached
// explicitly (setDbManager) on the thread that owns the manager. A move hands over the record
// itself, attachment included, so that factories returning a record keep working; handing a
// record to another thread by std::move is the one way to carry a connection along, and a
// mistake.
class Content
{
public:
    explicit Content(DBManager* dbManager = nullptr) : m_dbManager(dbManager) {}
    virtual ~Content();
    Content(const Content& other) : m_dataState(other.m_dataState), m_id(other.m_id) {}
    Content& operator=(const Content& other)
    {
        m_dataState = other.m_dataState;
        m_id = other.m_id;
        return *this;
    }
    Content(Content&& other) noexcept
        : m_dataState(other.m_dataState), m_id(other.m_id), m_dbManager(other.m_dbManager)
    {
        other.m_dbManager = nullptr;
    }
    Content& operator=(Content&& other) noexcept
    {
        m_dataState = other.m_dataState;
        m_id = other.m_id;
        m_dbManager = other.m_dbManager;
        if (this != &other)
            other.m_dbManager = nullptr;
        return *this;
    }

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
