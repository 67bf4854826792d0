#pragma once

#include <QString>

// Which controls of a conversation item a display state shows: the transfer button beside an
// own bubble (in progress, or resend after a failure), the progress group of an attachment and
// its open/save link line.
class MtChatItemState
{
public:
    enum State
    {
        Progress = 0,       // sending, uploading
        Failed = 1,         // resend offered
        Transferring = 2,   // downloading
        TransferFailed = 3, // download failed
        Settled = 16,
    };

    bool transferVisible = false;
    QString transferPicture;
    bool transferEnabled = false;
    bool progressVisible = false;
    QString progressText;
    bool linkVisible = false;

    static MtChatItemState ownText(int state);
    static MtChatItemState ownAttachment(int state);
    static MtChatItemState otherAttachment(int state);
    // Only a failed message may be sent again.
    static bool resendAllowed(int state) { return state == Failed; }
    // Settled rows (and separators and notices) keep time order; the others stay below them.
    static bool isSettled(int state) { return (state & Settled) != 0; }
    // The display state of an own message from its stored msg_state: sending or uploading is in
    // progress, a send or upload that never finished has failed, the rest is settled.
    static int fromMsgState(int msgState);
};
