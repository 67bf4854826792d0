#pragma once

#include <QByteArray>
#include <QString>

// An error answer of the server: a JSON object with "code", "message", "developerMessage" and,
// for an outdated client, "link". A body that is not a JSON object decodes to code 0 and empty
// texts.
class NetErrorBody
{
public:
    static constexpr int kVersionAppNotMatch = 40106;

    static NetErrorBody decode(const QByteArray& body);

    int code() const { return m_code; }
    QString message() const { return m_message; }
    QString developerMessage() const { return m_developerMessage; }
    QString link() const { return m_link; }
    bool isVersionAppNotMatch() const { return m_code == kVersionAppNotMatch; }

private:
    int m_code = 0;
    QString m_message;
    QString m_developerMessage;
    QString m_link;
};
