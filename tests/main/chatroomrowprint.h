#pragma once

#include "main/chatroomrowtext.h"

#include <QMetaType>
#include <QtTest>

// A row's texts in a failure message, each field named.
namespace QTest {
template <>
inline char* toString(const ChatRoomRow& row)
{
    return qstrdup(QStringLiteral("title=%1 count=%2 time=%3 message=%4 badge=%5")
                       .arg(row.title, row.memberCount, row.time, row.message, row.badge)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

Q_DECLARE_METATYPE(ChatRoomRow)
