#pragma once

#include <QtGlobal>

#include <string_view>

// One person of the directory as a list of people shows them. The texts are UTF-8 and point
// into the statement's current row: valid only during the visit that hands the row over, so a
// reader copies what it keeps, the way it keeps it, and nothing else is made per row.
struct DBDirectoryRow
{
    qint64 userId = 0;
    std::string_view userName;
    std::string_view deptName;
    std::string_view thumbUrl;
    bool chattAllow = false;
    bool appInstall = false;
};
