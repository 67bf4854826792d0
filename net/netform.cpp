#include "net/netform.h"

#include <QUrl>

void NetForm::add(const QString& key, const QString& value)
{
    m_query.addQueryItem(key, QString::fromLatin1(QUrl::toPercentEncoding(value)));
}

void NetForm::addFormValue(const QString& key, const QString& value)
{
    m_query.addQueryItem(key, value);
}

QByteArray NetForm::encode(const QUrlQuery& query)
{
    return query.toString(QUrl::FullyEncoded).toLatin1();
}
