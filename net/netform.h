#pragma once

#include <QString>
#include <QUrlQuery>

// The fields of a form body (application/x-www-form-urlencoded), in the order they are added.
//
// Plain values are percent-encoded completely before they reach the query, so a "+", "&", "="
// or "%" in a name or a password arrives at the server as typed (a raw "+" would be read back
// as a blank). The login password alone keeps the toolkit's own form rules, because the wire
// form of its digest is fixed: its "+" signs are written as "%2B" beforehand (addFormValue).
class NetForm
{
public:
    void add(const QString& key, const QString& value);
    // The value as the toolkit's query encoder would take it from a form: an escape already in
    // it ("%2B") stays as it is.
    void addFormValue(const QString& key, const QString& value);

    const QUrlQuery& query() const { return m_query; }
    bool isEmpty() const { return m_query.isEmpty(); }
    // The request body: every reserved character percent-encoded.
    static QByteArray encode(const QUrlQuery& query);

private:
    QUrlQuery m_query;
};
