#pragma once

#include <QByteArray>

// The room list answer without the user records it repeats. Each member of a room comes with
// the whole record of its user, and a user is a member of many rooms: in a large list the
// records are most of the bytes, nearly all of them copies. The merge of the list reads a
// member's record only for a user the directory does not hold, and stores the user from the
// first record it meets in the answer's order, where later rooms find it. So a record that an
// earlier member of the same id has given is left out; the rest reads in a fraction of the time
// and memory.
class NetRoomListTrim
{
public:
    // The body with those records left out, or an empty array when the body is not a JSON
    // object or holds what the trim does not take apart with certainty (a key given twice, a
    // structure nested too deeply): the body is then read whole. Every part left out has been
    // checked as JSON, so a body that is not valid JSON is never made readable by the trim.
    static QByteArray trimmed(const QByteArray& body);
};
