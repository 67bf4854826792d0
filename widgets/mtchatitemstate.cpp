#include "widgets/mtchatitemstate.h"

#include <QCoreApplication>

namespace {
QString transferPictureName()
{
    return QStringLiteral(":/ui/images/transfer.png");
}
QString refreshPictureName()
{
    return QStringLiteral(":/ui/images/refresh.png");
}
} // namespace

MtChatItemState MtChatItemState::ownText(int state)
{
    MtChatItemState view;
    switch (state) {
    case Progress:
    case Transferring:
        view.transferVisible = true;
        view.transferPicture = transferPictureName();
        break;
    case Failed:
        view.transferVisible = true;
        view.transferPicture = refreshPictureName();
        view.transferEnabled = true;
        break;
    default:
        break;
    }
    return view;
}

MtChatItemState MtChatItemState::ownAttachment(int state)
{
    MtChatItemState view = ownText(state);
    switch (state) {
    case Progress:
        view.progressVisible = true;
        view.progressText = QCoreApplication::translate("MtChatBaseItem", "Sending");
        break;
    case Failed:
        view.progressVisible = true;
        view.progressText = QCoreApplication::translate("MtChatBaseItem", "Error sending");
        break;
    case Transferring:
        view.progressVisible = true;
        view.progressText = QCoreApplication::translate("MtChatBaseItem", "Saving");
        break;
    default:
        view.linkVisible = true;
        break;
    }
    return view;
}

MtChatItemState MtChatItemState::otherAttachment(int state)
{
    MtChatItemState view;
    switch (state) {
    case Transferring:
        view.progressVisible = true;
        view.progressText = QCoreApplication::translate("MtChatBaseItem", "Saving");
        break;
    case TransferFailed:
        view.progressVisible = true;
        view.progressText = QCoreApplication::translate("MtChatBaseItem", "Error saving");
        break;
    default:
        view.linkVisible = true;
        break;
    }
    return view;
}

int MtChatItemState::fromMsgState(int msgState)
{
    switch (msgState) {
    case 0:
    case 3:
        return Progress;
    case 2:
    case 4:
    case 5:
        return Failed;
    default:
        return Settled;
    }
}
