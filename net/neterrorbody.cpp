#include "net/neterrorbody.h"

#include <QJsonDocument>
#include <QJsonObject>

NetErrorBody NetErrorBody::decode(const QByteArray& body)
{
    NetErrorBody error;
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    const QJsonValue message = object.value(QLatin1String("message"));
    if (message.isString())
        error.m_message = message.toString();
    error.m_code = object.value(QLatin1String("code")).toInt();
    if (error.isVersionAppNotMatch())
        error.m_link = object.value(QLatin1String("link")).toString();
    else
        error.m_developerMessage = object.value(QLatin1String("developerMessage")).toString();
    return error;
}
