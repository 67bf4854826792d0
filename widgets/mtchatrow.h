#pragma once

#include <QDateTime>
#include <QString>

class DBChat;

// What the conversation shows for a stored chat: which item, in which display state, with which
// text or attachment. Computed apart from the widgets so the chat window and the tests share it.
class MtChatRow
{
public:
    enum Kind
    {
        None,   // nothing is shown (an unknown content type)
        Text,   // a text bubble (also a long text sent as a file: its preview)
        Image,  // a picture or a video
        File,   // a file
        Notice, // an invitation, admission or leave notice
    };

    static MtChatRow fromChat(const DBChat& chat, bool own);

    Kind kind = None;
    bool own = false;
    int itemType = 0;
    int state = 16;
    QString messageId;
    QString senderName;
    int senderId = 0;
    QDateTime time;
    QString text;
    int contentType = 1;
    QString filePath;
    QString fileName;
    qint64 fileSize = 0;
    int width = 0;
    int height = 0;
    int readCount = 0;
};
