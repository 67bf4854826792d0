// What the session routes to the window: the room list, the chat windows and the notices of new
// chats (toast, sound, taskbar attention).
#include "main/maindialog.h"
#include "ui_maindialog.h"

#include "chat/chatdialog.h"
#include "main/chatroomlist.h"
#include "main/chatroomlistwidgetitem.h"
#include "main/chatwindows.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "notify/backalertdialog.h"
#include "notify/toastchatmessage.h"
#include "notify/toaststack.h"
#include "platform/alarmsound.h"
#include "platform/windowflash.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "session/sessionrequest.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/mtdata.h"
#include "widgets/mtpicture.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace {
const char* const kAlarmResource = ":/sounds/alarm.wav";
const char* const kAlarmFileName = "veltri_alarm.wav";
// A toast's fixed height.
constexpr int kToastHeight = 100;
} // namespace

ToastStack* MainDialog::toasts()
{
    if (!m_toasts) {
        m_toasts = new ToastStack;
        connect(m_toasts, &ToastStack::toastClicked, this, &MainDialog::openChatDialog);
    }
    return m_toasts;
}

void MainDialog::attachRoomList()
{
    MtSession* s = m_session;
    MTData* data = s ? s->mtData() : nullptr;
    NetServerManager* net = s ? s->net() : nullptr;
    layOutRoomListPage();
    ui->chatRoomListWidget->setSession(s ? s->db() : nullptr, net, data ? data->userId() : 0);
    // The session makes a new engine at every log off: its picture answers are connected anew.
    if (net && m_pictureEngine != net) {
        if (m_pictureEngine)
            disconnect(m_pictureEngine, nullptr, this, nullptr);
        m_pictureEngine = net;
        connect(net, &NetServerManager::onImageSuccess, this, &MainDialog::onImageSuccess);
    }
}

void MainDialog::layOutRoomListPage()
{
    // A page never shown keeps a widget's default size until it is: the list would count the
    // rows it shows at once (whose pictures are fetched before it shows) from that. Laid out
    // now at the size the stack gives its pages.
    QWidget* page = ui->stackedWidget->widget(RoomListPage);
    if (page->isVisible() || !page->layout())
        return;
    page->resize(ui->stackedWidget->contentsRect().size());
    page->layout()->setGeometry(page->rect());
}

void MainDialog::onImageSuccess(const QString& urlFilePath, const QString& filePath,
                                QWidget* widget)
{
    qDebug().noquote().nospace() << "MainDialog::onImageSuccess - urlFilePath=" << urlFilePath
                                 << ", filePath=" << filePath;
    if (widget == ui->lockImgLabel) {
        const QPixmap picture(filePath);
        if (!picture.isNull())
            ui->lockImgLabel->setPixmap(mtRoundPicture(picture, ui->lockImgLabel->size()));
    }
}

void MainDialog::on_searchLineEdit_searchText(const QString& text)
{
    qDebug().noquote().nospace() << "MainDialog::on_searchLineEdit_searchText - search = " << text;
    ui->chatRoomListWidget->filterChatRooms(text);
}

void MainDialog::onRoomListChats(const QList<DBChat>& chats)
{
    ChatRoomList* list = ui->chatRoomListWidget;
    list->setUpdatesEnabled(false);
    for (const DBChat& chat : chats)
        list->updateLastMessage(chat);
    list->setUpdatesEnabled(true);
}

void MainDialog::onRoomAdded(const DBChatRoom& room)
{
    if (room.topic().isEmpty())
        return;
    ChatRoomList* list = ui->chatRoomListWidget;
    if (list->containsChatRoom(room)) {
        list->updateChatRoomItem(room);
        return;
    }
    list->addChatRoom(room, true);
    DBManager* db = dbManager();
    DBChat last(db);
    if (db && db->lastChat(room.topic(), last))
        list->updateLastMessage(last);
}

void MainDialog::onRoomChanged(const DBChatRoom& room, const DBChat& notice,
                               const RoomRouting::Action& action)
{
    ChatRoomList* list = ui->chatRoomListWidget;
    if (action.closeWindow)
        m_chatWindows->close(room.topic());
    if (action.listRemove)
        list->deleteChatRoom(room.topic());
    if (action.listUpsert) {
        if (list->containsChatRoom(room))
            list->updateChatRoomItem(room);
        else
            list->addChatRoom(room);
    }
    if (action.listLastMessage && notice.id() > 0)
        list->updateLastMessage(notice);
}

void MainDialog::onRoomRemoved(const QString& topic)
{
    m_chatWindows->close(topic);
    ui->chatRoomListWidget->deleteChatRoom(topic);
}

void MainDialog::onUnreadChanged(const QString& topic, int unread)
{
    ui->chatRoomListWidget->setUnreadCount(topic, unread);
}

void MainDialog::itemDoubleClickedFromChatRoomListWidget(QListWidgetItem* item)
{
    auto* row = dynamic_cast<ChatRoomListWidgetItem*>(item);
    if (!row || !m_session || !m_session->state().isLoggedIn() || m_session->state().isLocked())
        return;
    qDebug().noquote().nospace() << "MainDialog::itemDoubleClickedFromChatRoomListWidget topic:"
                                 << row->topic();
    openChatDialog(row->topic());
}

void MainDialog::openChatDialog(const QString& topic)
{
    qDebug().noquote().nospace() << "MainDialog::openChatDialog topic:" << topic;
    // A toast clicked over the lock page must not open a way into the room.
    if (!m_session || !m_session->state().isLoggedIn() || m_session->state().isLocked())
        return;
    if (m_chatWindows->raise(topic))
        return;
    DBManager* db = m_session->db();
    DBChatRoom room(db);
    if (!db || !db->findChatRoom(topic, room))
        return;
    m_chatWindows->open(room);
}

void MainDialog::requestChat(qint64 userId)
{
    onClickNewChatRoom({userId});
}

void MainDialog::onClickNewChatRoom(const QList<qint64>& invitedUsers)
{
    if (invitedUsers.isEmpty()) {
        qDebug().noquote() << "MainDialog::onClickMakeChatRoom - memebr is empty !!!!";
        return;
    }
    if (!m_session || !m_session->state().isLoggedIn() || m_session->state().isLocked())
        return;
    QStringList members;
    for (qint64 id : invitedUsers) {
        qDebug().noquote().nospace() << "MainDialog::onClickNewChatRoom userId:" << id;
        members << QString::number(id);
    }
    if (invitedUsers.size() == 1) {
        const qint64 userId = invitedUsers.first();
        if (auto* row = dynamic_cast<ChatRoomListWidgetItem*>(
                ui->chatRoomListWidget->findOneToOneItem(userId))) {
            openChatDialog(row->topic());
            return;
        }
        if (ChatDialog* dummy = m_chatWindows->dummyFor(userId)) {
            dummy->showNormal();
            dummy->activateWindow();
            dummy->raise();
            return;
        }
    }
    DBChatRoom room(m_session->db());
    room.setMembers(members.join(QLatin1Char(',')));
    room.setType(invitedUsers.size() == 1 ? RoomType1VS1 : RoomType1VSN);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    room.setCreateDate(now);
    room.setUpdateDate(now);
    room.setRoomName(room.toRoomName(room.members()));
    m_chatWindows->openDummy(room, invitedUsers);
}

void MainDialog::closeAllChatDialog()
{
    m_chatWindows->closeAll();
}

void MainDialog::addedNewChatMessage(const NotifyRequest& request)
{
    qDebug().noquote().nospace() << "MainDialog::addedNewChatMessage topic:" << request.topic;
    // The notices of one refresh are given together: one sound, one flash of the main window,
    // and toasts only for the rooms the screen has room for.
    m_pendingNotices.append(request);
    if (m_pendingNotices.size() == 1)
        QTimer::singleShot(0, this, &MainDialog::showPendingNotices);
}

void MainDialog::showPendingNotices()
{
    const QList<NotifyRequest> notices = m_pendingNotices;
    m_pendingNotices.clear();
    bool flashMain = false;
    bool sound = false;
    QList<NotifyRequest> toastsWanted;
    for (const NotifyRequest& request : notices) {
        const bool windowOpen = m_chatWindows->isChatWindowOpen(request.topic);
        if (!isVisible() && !windowOpen) {
            // Shown minimised, the window has a taskbar entry that can ask for attention.
            restoreCurrentWindowPosition();
            showMinimized();
        }
        if (request.notice.flash && windowOpen)
            flashWindowByTopic(request.topic, -1);
        flashMain |= request.notice.flash && !windowOpen;
        sound |= request.notice.sound;
        if (request.notice.toast)
            toastsWanted.append(request);
    }
    if (flashMain)
        flashWindow(-1);
    const int fit = toastColumnSize();
    for (int i = std::max(0, int(toastsWanted.size()) - fit); i < toastsWanted.size(); ++i) {
        const NotifyRequest& request = toastsWanted.at(i);
        const QString thumb = request.senderThumbUrl.isEmpty()
                                  ? QString()
                                  : FileManager::cachedFile(request.senderThumbUrl);
        const QPixmap picture = thumb.isEmpty() ? QPixmap() : QPixmap(thumb);
        showToast(request.topic, request.senderName, request.text, picture);
    }
    if (sound)
        playAlarmSound();
}

int MainDialog::toastColumnSize() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int height = screen ? screen->availableGeometry().height() : 0;
    return std::max(1, height / kToastHeight);
}

void MainDialog::showToast(const QString& topic, const QString& title, const QString& text,
                           const QPixmap& picture)
{
    ToastStack* stack = toasts();
    const int displayMsec = m_settings->alarmDisplayTime() * 1000;
    const QList<ToastChatMessage*> open = stack->toasts();
    const bool shown = std::any_of(open.begin(), open.end(), [&](const ToastChatMessage* t) {
        return t->isVisible() && t->topic() == topic;
    });
    if (shown || open.size() < toastColumnSize()) {
        stack->showMessage(topic, title, text, picture, displayMsec);
        return;
    }
    // The screen's column is full: the oldest toast shows the newest room instead of a new
    // window beyond the screen's edge for each further room.
    ToastChatMessage* oldest = open.first();
    oldest->setDisplayTime(displayMsec);
    oldest->setMessage(topic, title, text, picture);
    oldest->reset();
    oldest->show();
}

void MainDialog::playAlarmSound()
{
    const QString path = QDir::tempPath() + QLatin1Char('/') + QLatin1String(kAlarmFileName);
    if (!QFile::exists(path) && !QFile::copy(QLatin1String(kAlarmResource), path)) {
        qWarning().noquote().nospace()
            << "MainDialog::addedNewChatMessage failed to copy alarm.wav path:" << path;
        return;
    }
    // Playback runs on its own: the window never waits for the sound's length.
    if (!platformPlaySound(path))
        qWarning().noquote().nospace()
            << "MainDialog::addedNewChatMessage failed to PlaySound path:" << path;
}

void MainDialog::flashWindow(int msec)
{
    qDebug().noquote().nospace() << "MainDialog::flashWindow msec:" << msec;
    platformFlashWindow(this, msec);
    if (msec != 0 && !isVisible()) {
        // Hidden in the tray the window has no taskbar entry: the alert window stands in.
        if (!m_backAlert) {
            m_backAlert = new BackAlertDialog(this);
            connect(m_backAlert, &BackAlertDialog::onBackAlertActivate, this,
                    &MainDialog::onBackAlertActivate);
        }
        m_backAlert->show();
    }
}

void MainDialog::flashWindowByTopic(const QString& topic, int msec)
{
    qDebug().noquote().nospace() << "MainDialog::flashWindowByTopic topic:" << topic
                                 << " msec:" << msec;
    if (QWidget* window = m_chatWindows->window(topic)) {
        platformFlashWindow(window, msec);
        return;
    }
    qWarning().noquote().nospace() << "MainDialog::flashWindowByTopic not found topic:" << topic;
    flashWindow(msec);
}

void MainDialog::onBackAlertActivate()
{
    showNormal();
    raise();
    activateWindow();
}
