// The room's menu and operations: creation of a dummy room, invitations, leaving, deleting,
// members, readers, and the answers of the window's engine.
#include "chat/chatdialog.h"
#include "ui_chatdialog.h"

#include "chat/chatrules.h"
#include "chat/profileviewpopup.h"
#include "invite/chatinvitedialog.h"
#include "invite/membersdialog.h"
#include "messaging/mqttmanager.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "session/mtsession.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/mtdata.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtimageviewer.h"
#include "widgets/mtloadingwidget.h"

#include <QClipboard>
#include <QCursor>
#include <QDebug>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>

namespace {
QString toJsonText(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
} // namespace

bool ChatDialog::serverHistory() const
{
    return m_session->mtData() && m_session->mtData()->serverHistoryOption();
}

QList<QAction*> ChatDialog::roomMenuActions()
{
    QList<QAction*> actions;
    for (ChatRules::RoomMenuEntry entry :
         ChatRules::roomMenuEntries(m_room.type(), serverHistory())) {
        QAction* action = nullptr;
        switch (entry) {
        case ChatRules::RoomMenuEntry::AddMember:
            action = new QAction(tr("Add Member"), this);
            connect(action, &QAction::triggered, this, &ChatDialog::addMember);
            break;
        case ChatRules::RoomMenuEntry::ViewMembers:
            action = new QAction(tr("View Members"), this);
            connect(action, &QAction::triggered, this, &ChatDialog::viewMembers);
            break;
        case ChatRules::RoomMenuEntry::Export:
            action = new QAction(tr("Export conversation content"), this);
            connect(action, &QAction::triggered, this, &ChatDialog::exportConversation);
            break;
        case ChatRules::RoomMenuEntry::Leave:
            action = new QAction(tr("Leave"), this);
            connect(action, &QAction::triggered, this, &ChatDialog::leaveRoom);
            break;
        case ChatRules::RoomMenuEntry::DeleteConversation:
            action = new QAction(tr("Delete conversations"), this);
            connect(action, &QAction::triggered, this, &ChatDialog::deleteAllChat);
            break;
        }
        actions << action;
    }
    return actions;
}

void ChatDialog::showRoomMenu()
{
    qDebug() << "ChatDialog::on_menuButton_clicked";
    // Built at each click: the room's type and the server's options may have changed.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setStyleSheet(QStringLiteral(
        "QMenu::item { border: none; height: 40px; min-width:50px; qproperty-alignment: "
        "AlignCenter;}"));
    for (QAction* action : roomMenuActions()) {
        action->setParent(menu);
        menu->addAction(action);
        menu->addSeparator();
    }
    m_popups << menu;
    const QPoint pos =
        ui->menuButton->mapToGlobal(QPoint(ui->menuButton->width(), ui->menuButton->height())) -
        QPoint(menu->sizeHint().width(), 0);
    qDebug() << "ChatDialog::showMenu"
             << " ui->menuButton->pos():" << ui->menuButton->pos() << " pos:" << pos;
    menu->popup(pos);
}

void ChatDialog::showContextMenu(const QPoint& pos)
{
    if (!ui->toolBarFrame->isVisible())
        return;
    QListWidgetItem* row = ui->chatView->itemAt(pos);
    MtChatBaseItem* item =
        row ? qobject_cast<MtChatBaseItem*>(ui->chatView->itemWidget(row)) : nullptr;
    const QPoint global = ui->chatView->viewport()->mapToGlobal(pos);
    if (!item || !item->containsGlobalPos(global))
        return;
    const bool text = item->itemType() == MtChatBaseItem::ItemType_Chat ||
                      item->itemType() == MtChatBaseItem::ItemType_MyChat;
    if (!text && serverHistory())
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setStyleSheet(QStringLiteral(
        "QMenu::item { border: none; height: 30px; min-width:50px; qproperty-alignment: "
        "AlignCenter;}"));
    QPointer<MtChatBaseItem> target(item);
    if (text) {
        menu->addAction(tr("Copy"), this, [target] {
            if (target)
                target->copyText();
        });
    }
    if (!serverHistory()) {
        if (text)
            menu->addSeparator();
        const QString messageId = item->messageId();
        menu->addAction(tr("Delete"), this, [this, messageId] { deleteChat(messageId); });
    }
    m_popups << menu;
    menu->popup(global);
}

void ChatDialog::deleteChat(const QString& messageId)
{
    DBChat chat(db());
    if (!db() || !db()->findChat(topic(), messageId, chat) || !chat.remove()) {
        qWarning().noquote() << "ChatDialog::deleteChat - failed, msgId=" << messageId;
        return;
    }
    removeItem(messageId);
    m_uploads.remove(messageId);
    m_downloads.remove(messageId);
}

void ChatDialog::leaveRoom()
{
    if (isDummy()) {
        qDebug() << "ChatDialog::leaveRoom - This room is dummy";
        return;
    }
    qDebug() << "ChatDialog::leaveRoom";
    QPointer<ChatDialog> self(this);
    const bool yes = askQuestion(tr("Do you want to leave this room?\nAll data will be delete."));
    if (!self || !yes)
        return;
    if (MqttManager* mqtt = m_session->messaging()) {
        QJsonObject contents{{QStringLiteral("chatRoomType"), m_room.type()}};
        mqtt->sendLeave(topic(), mqtt->makeMessageId(), toJsonText(contents));
    }
    // The leave notice reaches the other members before the server drops this member.
    QTimer::singleShot(500, this, &ChatDialog::sendLeaveRequest);
}

void ChatDialog::sendLeaveRequest()
{
    net()->reqLeaveChatRoom(kReqLeave, NetServerManager::roomIdFromTopic(topic()),
                            m_room.type() == RoomTypeLeave ? int(RoomType1VS1) : m_room.type());
}

void ChatDialog::deleteAllChat()
{
    QPointer<ChatDialog> self(this);
    const bool yes = askQuestion(tr("Do you want to delete all data?"));
    if (!self || !yes)
        return;
    qDebug() << "ChatDialog::deleteAllChat";
    if (!db() || !db()->deleteChatMessage(topic())) {
        qWarning() << "ChatDialog::deleteAllChat failed to remove";
        return;
    }
    ui->chatView->clear();
    m_shownIds.clear();
    m_idlessNotices = 0;
    m_uploads.clear();
    m_downloads.clear();
    m_noMoreServerHistory = true;
}

QList<DBUser> ChatDialog::memberUsers() const
{
    QList<DBUser> users;
    if (!db())
        return users;
    if (m_room.type() == RoomTypeGroup)
        db()->groupUserList(users, m_room.members().toLongLong(), ownUserId());
    else
        db()->users(users, m_room.members().split(QLatin1Char(','), Qt::SkipEmptyParts));
    return users;
}

void ChatDialog::viewMembers()
{
    const QList<DBUser> users = memberUsers();
    if (users.isEmpty()) {
        showMessage(tr("No Members"));
        return;
    }
    QPointer<ChatDialog> self(this);
    auto* dialog = new MembersDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setPictureSource(net());
    dialog->setMembers(users);
    connect(dialog, &MembersDialog::memberClicked, this, &ChatDialog::showProfile);
    m_popups << dialog;
    dialog->open();
}

void ChatDialog::showReaders(const QString& messageId)
{
    qDebug().noquote() << "ChatDialog::on_chatView_readUserPopupOpened msgId:" << messageId
                       << "topic:" << topic();
    QList<DBUser> readers;
    if (db())
        db()->readers(readers, topic(), messageId);
    if (readers.isEmpty()) {
        qDebug() << " no read user";
        return;
    }
    auto* dialog = new MembersDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setPictureSource(net());
    dialog->setReaders(readers);
    connect(dialog, &MembersDialog::memberClicked, this, &ChatDialog::showProfile);
    m_popups << dialog;
    dialog->move(QCursor::pos());
    dialog->open();
}

void ChatDialog::addMember()
{
    qDebug().noquote() << "ChatDialog::addMember members" << m_room.members();
    qDebug() << "ChatDialog::addMember type" << m_room.type();
    auto* dialog = new ChatInviteDialog(db(), ownUserId(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setPictureSource(net());
    dialog->setData(m_room.members(), m_room.type());
    connect(dialog, &ChatInviteDialog::newChatRoomOk, this, [this](const QList<int>& ids) {
        qDebug() << "ChatDialog::newChatRoom" << ids.size();
        emit newRoomRequested(QList<qint64>(ids.begin(), ids.end()));
    });
    connect(dialog, &ChatInviteDialog::inviteAddMember, this, [this](const QList<int>& ids) {
        inviteMembers(QList<qint64>(ids.begin(), ids.end()));
    });
    m_popups << dialog;
    dialog->open();
}

void ChatDialog::inviteMembers(const QList<qint64>& userIds)
{
    // Nobody new: nothing is sent.
    if (userIds.isEmpty())
        return;
    QStringList members = m_room.members().split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (isDummy()) {
        qDebug() << "ChatDialog::inviteAddMember - room is Dummy";
        for (qint64 id : userIds) {
            if (!members.contains(QString::number(id)))
                members << QString::number(id);
        }
        m_room.setMembers(members.join(QLatin1Char(',')));
        updatePicture();
        updateTitle();
        return;
    }
    if (m_room.type() != RoomType1VSN)
        return;
    QStringList added;
    for (qint64 id : userIds)
        added << QString::number(id);
    qDebug().noquote() << "ChatDialog::inviteAddMember - room type is RoomType1VSN, addUserList="
                       << added;
    net()->reqInviteMember(kReqInvite, NetServerManager::roomIdFromTopic(topic()), added);
}

void ChatDialog::onHttpSuccess(int reqCode, const QJsonObject& response)
{
    switch (reqCode) {
    case kReqNewRoom:
        roomCreatedAnswer(response);
        break;
    case kReqInviteBack:
    case kReqInvite:
        inviteAnswer(reqCode, response);
        break;
    case kReqLeave:
        leaveAnswer(response);
        break;
    case kReqChatLoad:
        historyAnswer(response);
        break;
    case kReqFileAuth:
        fileAuthAnswer(response);
        break;
    default:
        break;
    }
}

void ChatDialog::roomCreatedAnswer(const QJsonObject& response)
{
    m_roomRequestInFlight = false;
    qDebug() << "ChatDialog::onHttpSuccess - [REQ_HTTP_NEW_CHATROOM] created room";
    DBChatRoom room(db(), response, ownUserId());
    if (room.topic().isEmpty()) {
        qWarning() << "ChatDialog::onHttpSuccess - [REQ_HTTP_NEW_CHATROOM] answer names no room";
        showMessage(tr("The room could not be created."));
        return;
    }
    if (!room.insertOrUpdate())
        qWarning().noquote() << "ChatDialog::onHttpSuccess - failed to store room" << room.topic();
    m_room = room;
    MqttManager* mqtt = m_session->messaging();
    if (mqtt) {
        QJsonObject roomObject = response;
        roomObject.remove(QStringLiteral("status"));
        QJsonObject contents{{QStringLiteral("chatRoomInfo"), roomObject}};
        if (!m_inviteUserIds.isEmpty()) {
            QJsonArray ids;
            for (qint64 id : m_inviteUserIds)
                ids.append(QString::number(id));
            contents.insert(QStringLiteral("inviteUserIds"), ids);
        }
        // The creator's notice and the invitation share one id, stored before it is published:
        // the echo then confirms this notice instead of adding a second one.
        const QString inviteId = mqtt->makeMessageId();
        if (m_room.type() == RoomType1VSN) {
            QList<DBUser> users = memberUsers();
            QStringList names;
            for (const DBUser& user : users)
                names << user.userName();
            DBChat notice(db());
            notice.setTopic(topic());
            notice.setMsgId(inviteId);
            notice.setMsgType(3);
            notice.setSenderId(ownUserId());
            notice.setMsgTime(QDateTime::currentMSecsSinceEpoch());
            notice.setContent(1, names.join(QLatin1Char(',')));
            notice.setMsgState(1);
            notice.setMsgRead(true);
            if (!notice.insertOrUpdate())
                qCritical().noquote() << "ChatDialog::roomCreatedAnswer - notice not stored";
            addChat(notice, false);
        }
        mqtt->sendInvite(topic(), inviteId, toJsonText(contents));
    }
    m_alarmOn = !m_session->mtData() || m_session->mtData()->isTopicAlarmOn(topic());
    updateAlarmButton();
    updatePicture();
    updateTitle();
    qDebug().noquote() << "ChatDialog::onHttpSuccess - [REQ_HTTP_NEW_CHATROOM] created room - "
                          "m_clickedButton="
                       << m_pendingAction;
    emit roomCreated(this, m_room);
    runPendingAction();
}

void ChatDialog::inviteAnswer(int reqCode, const QJsonObject& response)
{
    qDebug() << "ChatDialog::onHttpSuccess - [REQ_HTTP_ENTER_CHATROOM|REQ_HTTP_INVITE_MEMBER] "
                "cache success, roomtype="
             << m_room.type();
    const QStringList before = m_room.members().split(QLatin1Char(','), Qt::SkipEmptyParts);
    DBChatRoom room(db(), response, ownUserId());
    if (room.topic().isEmpty())
        room.setTopic(topic());
    QJsonArray invited;
    for (const QString& id : room.members().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!before.contains(id))
            invited.append(id);
    }
    if (MqttManager* mqtt = m_session->messaging()) {
        QJsonObject roomObject = response;
        roomObject.remove(QStringLiteral("status"));
        const QJsonObject contents{{QStringLiteral("inviteUserIds"), invited},
                                   {QStringLiteral("chatRoomInfo"), roomObject}};
        mqtt->sendAdd(topic(), mqtt->makeMessageId(), toJsonText(contents));
    }
    if (reqCode == kReqInviteBack) {
        m_roomRequestInFlight = false;
        m_room.updateType(RoomType1VS1);
        emit roomInvited(this, m_room);
        runPendingAction();
        return;
    }
    if (!room.insertOrUpdate())
        qWarning().noquote() << "ChatDialog::inviteAnswer - failed to store room" << room.topic();
    updateChatRoom(room);
    emit roomInvited(this, m_room);
}

void ChatDialog::leaveAnswer(const QJsonObject& response)
{
    const int status = response.value(QStringLiteral("status")).toInt();
    if (status != 200) {
        qWarning() << "ChatDialog::onHttpSuccess - REQ_HTTP_LEAVE_CHATROOM - error status="
                   << status;
        showMessage(tr("fail to leave"));
        return;
    }
    if (!db() || !db()->deleteChatRoom(topic())) {
        qWarning() << "MainDialog::leaveRoomOk failed to remove database";
        return;
    }
    leaveRoomPresence();
    removeSaveGeometry();
    emit roomLeft(this, m_room);
}

void ChatDialog::historyAnswer(const QJsonObject& response)
{
    m_historyInFlight = false;
    m_loadingWidget->hide();
    const QJsonValue listValue = response.value(QStringLiteral("list"));
    if (!listValue.isArray()) {
        qWarning() << "ChatDialog::historyAnswer - the answer holds no list";
        return;
    }
    const QJsonArray list = listValue.toArray();
    qDebug() << "REQ_HTTP_CAHT_LOAD success count : " << list.size();
    MqttManager* mqtt = m_session->messaging();
    QScrollBar* bar = ui->chatView->verticalScrollBar();
    const int oldMax = bar->maximum();
    int added = 0;
    for (const QJsonValue& value : list) {
        if (!mqtt)
            break;
        auto item = mqtt->chatItemFromHistory(value.toObject(), db());
        if (!item)
            continue;
        const DBChat& chat = item->chat();
        // A chat already shown (stored earlier, or a page overlapping the last) is not
        // shown twice.
        if (chat.topic() != topic() || m_shownIds.contains(chat.msgId()))
            continue;
        addChat(chat, true);
        ++added;
    }
    if (list.size() < ChatRules::kPageSize)
        m_noMoreServerHistory = true;
    if (added > 0) {
        ui->chatView->doItemsLayout();
        bar->setValue(bar->maximum() - oldMax);
    }
}

void ChatDialog::onHttpFailure(int reqCode, int errCode, const QString& error)
{
    qWarning().noquote() << "ChatDialog::onHttpFailure - reqCode=" << reqCode
                         << ", errCode=" << errCode << ", error=" << error;
    if (errCode == 40104 || errCode == 40106 || errCode == 40108) {
        emit sessionFailure(errCode, error);
        return;
    }
    if (reqCode == kReqNewRoom || reqCode == kReqInviteBack)
        m_roomRequestInFlight = false;
    if (reqCode == kReqChatLoad) {
        m_historyInFlight = false;
        m_loadingWidget->hide();
    }
    if (reqCode == kReqFileAuth && !m_authPending.isEmpty())
        m_authPending.removeFirst();
    if (reqCode == kReqInviteBack && errCode == 40005 && m_room.type() == RoomTypeLeave)
        m_room.updateType(RoomType1VS1);
    showMessage(error);
}

void ChatDialog::showProfile(int userId)
{
    DBUser user;
    if (!db() || !db()->findUser(userId, user)) {
        qWarning() << "ChatDialog::on_chatView_userPictureButtonClicked - can't find user, userId="
                   << userId;
        return;
    }
    const QString thumb = FileManager::cachedFile(user.thumbUrl());
    auto* popup = new ProfileViewPopup(user, QPixmap(thumb), this);
    connect(popup, &ProfileViewPopup::chatClicked, this,
            [this](int id) { emit openChatRoomRequested(id); });
    connect(popup, &ProfileViewPopup::chatProfileImageClicked, this, [this, user](int) {
        // Only a picture already in the cache is shown; nothing is fetched for it.
        const QString path = FileManager::cachedFile(user.imageUrl());
        const QPixmap picture(path);
        if (picture.isNull())
            return;
        auto* viewer = new MtImageViewer(this);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->addImage(QStringLiteral("profile-%1").arg(user.userId()), user.userName(),
                         QDateTime::currentDateTime(), picture, path);
        viewer->thumbItemSelected(QStringLiteral("profile-%1").arg(user.userId()));
        m_popups << viewer;
        viewer->show();
    });
    m_popups << popup;
    popup->moveFromParent(this);
    popup->show();
}
