#include "chat/chatdialog.h"
#include "ui_chatdialog.h"

#include "chat/chatrules.h"
#include "messaging/mqttmanager.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "notify/alarmwidget.h"
#include "session/mtsession.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/messagetrace.h"
#include "store/mtdata.h"
#include "store/unreadcounts.h"
#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtframeless.h"
#include "widgets/mtloadingwidget.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtroompicture.h"
#include "widgets/mtsearchlineedit.h"

#include <QDebug>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPixmapCache>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QTemporaryFile>
#include <QTextCodec>
#include <QTimer>

namespace {
const QString kSettingsFile = QStringLiteral("chatsettings.ini");
// The input box is kept as the room's draft this long after the last change.
constexpr int kDraftSaveDelayMs = 1000;

// Carries one chat to a window through the event queue.
class AddChatEvent : public QEvent
{
public:
    static QEvent::Type eventType()
    {
        static const int type = QEvent::registerEventType();
        return static_cast<QEvent::Type>(type);
    }
    explicit AddChatEvent(const DBChat& chat) : QEvent(eventType()), m_chat(chat) {}
    DBChat m_chat;
};
} // namespace

ChatDialog::ChatDialog(MtSession* session, const DBChatRoom& room, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::ChatDialog>()), m_session(session), m_room(room)
{
    // The room travels in the window's signals, queued connections included.
    qRegisterMetaType<DBChatRoom>("DBChatRoom");
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    m_frameLess = new MtFrameLess(this, true);
    setWindowTitle(QString());
    ui->searchFrame->hide();
    ui->searchLineEdit->setPlaceholderText(tr("Search"));
    ui->searchLineEdit->lineEdit()->installEventFilter(this);

    installEventFilter(this);
    setAcceptDrops(true);
    ui->chatView->setAcceptDrops(true);
    ui->chatView->viewport()->setAcceptDrops(true);
    ui->chatView->viewport()->installEventFilter(this);
    ui->textEdit->installEventFilter(this);
    ui->textEdit->setFocus();
    connect(ui->textEdit, &QPlainTextEdit::textChanged, this, &ChatDialog::adjustInputHeight);
    m_draftTimer = new QTimer(this);
    m_draftTimer->setSingleShot(true);
    m_draftTimer->setInterval(kDraftSaveDelayMs);
    connect(m_draftTimer, &QTimer::timeout, this, &ChatDialog::saveDraft);
    connect(ui->textEdit, &QPlainTextEdit::textChanged, m_draftTimer, qOverload<>(&QTimer::start));
    // Pasted files take the way of dropped ones, pasted pictures that of the picture button.
    connect(ui->textEdit, &ChatInputEdit::filesPasted, this,
            [this](const QStringList& files) { uploadFiles(files, false); });
    connect(ui->textEdit, &ChatInputEdit::picturePasted, this, &ChatDialog::sendPastedPicture);

    connect(ui->closeButton, &QToolButton::clicked, this, &QDialog::accept);
    connect(ui->minimizeButton, &QToolButton::clicked, this, &QWidget::showMinimized);
    connect(ui->maximumButton, &QToolButton::clicked, this,
            [this] { isMaximized() ? showNormal() : showMaximized(); });
    connect(ui->sendButton, &QPushButton::clicked, this, &ChatDialog::sendText);
    connect(ui->sendFileButton, &QToolButton::clicked, this, [this] { chooseFiles(false); });
    connect(ui->sendImageButton, &QToolButton::clicked, this, [this] { chooseFiles(true); });
    connect(ui->alarmButton, &QToolButton::clicked, this, &ChatDialog::toggleAlarm);
    connect(ui->menuButton, &QToolButton::clicked, this, &ChatDialog::showRoomMenu);
    connect(ui->searchButton, &QToolButton::clicked, this, &ChatDialog::openSearch);
    connect(ui->cancelButton, &QToolButton::clicked, this, &ChatDialog::closeSearch);
    connect(ui->searchLineEdit, &MtSearchLineEdit::returnPressed, this, &ChatDialog::search);
    connect(ui->searchUpButton, &QToolButton::clicked, this, [this] { stepSearch(1); });
    connect(ui->searchDownButton, &QToolButton::clicked, this, [this] { stepSearch(-1); });
    // Desktop keys: Ctrl+F searches the room, Ctrl+W closes the window as its close button does.
    connect(new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_F), this), &QShortcut::activated, this,
            &ChatDialog::openSearch);
    connect(new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_W), this), &QShortcut::activated, this,
            &QDialog::accept);

    MtChatWidget* view = ui->chatView;
    connect(view, &MtChatWidget::movedToTop, this, &ChatDialog::loadOlderPage);
    connect(view, &MtChatWidget::resendClicked, this, &ChatDialog::resend);
    connect(view, &MtChatWidget::saveFile, this,
            [this](const QString& messageId, bool saveAs) { saveFile(messageId, saveAs); });
    connect(view, &MtChatWidget::imageOpened, this, &ChatDialog::openImage);
    connect(view, &MtChatWidget::textOpened, this, &ChatDialog::openText);
    connect(view, &MtChatWidget::readUserPopupOpened, this, &ChatDialog::showReaders);
    connect(view, &MtChatWidget::fileOpened, this, &ChatDialog::openFile);
    connect(view, &MtChatWidget::folderOpened, this, &ChatDialog::openFolder);
    connect(view, &QWidget::customContextMenuRequested, this, &ChatDialog::showContextMenu);
    connect(view, &MtChatWidget::userPictureButtonClicked, this, &ChatDialog::showProfile);

    connect(session, &MtSession::chatForWindow, this, &ChatDialog::onChatForWindow);
    connect(session, &MtSession::readCountsForWindow, this, &ChatDialog::onReadCounts);
    connect(session, &MtSession::roomChanged, this,
            [this](const DBChatRoom& changed, const DBChat& notice, const RoomRouting::Action&) {
                onRoomChanged(changed, notice);
            });
    // The outbox gave up on one of this room's sends: the bubble offers its resend.
    connect(session->outbox(), &MtOutbox::failed, this,
            [this](const QString& failedTopic, const QString& msgId) {
                if (failedTopic == topic())
                    ui->chatView->setMessageState(msgId, MtChatItemState::Failed);
            });

    m_alarmWidget = new AlarmWidget(this);
    m_alarmWidget->hide();
    m_loadingWidget = new MtLoadingWidget(ui->chatView);
    m_loadingWidget->hide();

    bindRoom();
}

ChatDialog::~ChatDialog()
{
    qDebug() << "ChatDialog::~ChatDialog START";
    // A window deleted without being closed first (the program ending) fails its sends too.
    failUnfinishedUploads();
    // A window closed while the room was entered (lock, log off, leave) still leaves it.
    leaveRoomPresence();
    closeAllPopup();
    saveWindowGeometry();
    qDebug() << "ChatDialog::~ChatDialog END";
}

NetServerManager* ChatDialog::net()
{
    // Made at the first request: opening a window asks the server for nothing, so it does not
    // pay for the engine's TLS set-up.
    if (m_net)
        return m_net.get();
    m_net = std::make_unique<NetServerManager>(m_session->config());
    NetServerManager* engine = m_net.get();
    engine->setDbPath(m_session->dbPath());
    connect(engine, &NetServerManager::onHttpSuccess, this, &ChatDialog::onHttpSuccess);
    connect(engine, &NetServerManager::onHttpFailure, this, &ChatDialog::onHttpFailure);
    connect(engine, &NetServerManager::onUploadSuccess, this, &ChatDialog::onUploadSuccess);
    connect(engine, qOverload<QString, qint64, qint64>(&NetServerManager::onUploadProgress), this,
            &ChatDialog::onUploadProgress);
    connect(engine, &NetServerManager::onUploadFailure, this, &ChatDialog::onUploadFailure);
    connect(engine, &NetServerManager::onDownloadSuccess, this, &ChatDialog::onDownloadSuccess);
    connect(engine, qOverload<QString, qint64, qint64>(&NetServerManager::onDownloadProgress), this,
            &ChatDialog::onDownloadProgress);
    connect(engine, &NetServerManager::onDownloadFailure, this, &ChatDialog::onDownloadFailure);
    connect(
        engine, &NetServerManager::onImageSuccess, this,
        [this](const QString& url, const QString& path, QWidget*) { onImageSuccess(url, path); });

    return m_net.get();
}

MtChatWidget* ChatDialog::chatView() const
{
    return ui->chatView;
}

qint64 ChatDialog::ownUserId() const
{
    return m_session->mtData() ? m_session->mtData()->userId() : 0;
}

DBManager* ChatDialog::db() const
{
    return m_session->db();
}

void ChatDialog::bindRoom()
{
    m_noMoreServerHistory = false;
    qDebug().noquote() << "ChatDialog::setChatRoom - room=" << m_room.topic() << m_room.members();
    updatePicture();
    updateTitle();
    restoreGeometry();
    if (isDummy())
        return;
    loadNewestPage();
    loadDraft();
    m_alarmOn = !m_session->mtData() || m_session->mtData()->isTopicAlarmOn(topic());
    updateAlarmButton();
}

void ChatDialog::loadDraft()
{
    if (m_draftLoaded || !db())
        return;
    m_draftLoaded = true;
    // What was typed before the room was ready (a room being made) stays as it is; what is
    // stored for the room is then not known, and the next save writes.
    if (!ui->textEdit->toPlainText().isEmpty())
        return;
    const QString text = db()->draft(topic());
    m_storedDraft = text;
    if (text.isEmpty())
        return;
    ui->textEdit->setPlainText(text);
    ui->textEdit->moveCursor(QTextCursor::End);
    m_draftTimer->stop();
}

void ChatDialog::saveDraft()
{
    m_draftTimer->stop();
    if (isDummy() || !db() || !m_draftLoaded)
        return;
    // A write on this thread waits for the store's lock behind the delivery thread's batches:
    // closing a window whose draft did not change must not pay for it under steady traffic.
    const QString text = ui->textEdit->toPlainText();
    if (m_storedDraft == text)
        return;
    if (!db()->saveDraft(topic(), text)) {
        qCritical().noquote() << "ChatDialog::saveDraft - the draft was not stored, topic="
                              << topic();
        return;
    }
    m_storedDraft = text;
}

void ChatDialog::updateChatRoom(const DBChatRoom& room)
{
    m_room = room;
    updatePicture();
    updateTitle();
}

void ChatDialog::updateTitle()
{
    const QString name = m_room.roomName();
    ui->titleLabel->setText(name);
    setWindowTitle(name);
    const int members = m_room.members().split(QLatin1Char(','), Qt::SkipEmptyParts).size() + 1;
    ui->memberCountLabel->setText(m_room.type() == RoomTypeGroup ? QString()
                                                                 : QString::number(members));
    ui->memberCountLabel->setAccessibleName(
        m_room.type() == RoomTypeGroup ? QString() : tr("%1 members").arg(members));
    qDebug().noquote() << "ChatDialog::updateChatRoomName roomname :" << name;
}

void ChatDialog::updatePicture()
{
    if (!db())
        return;
    const MtRoomPictureSources sources = mtRoomPictureSources(*db(), m_room, ownUserId());
    QStringList missing;
    for (const QString& url : sources.urls) {
        if (!url.isEmpty() && FileManager::cachedFile(url).isEmpty() &&
            !m_pictureRequests.contains(url))
            missing << url;
    }
    // Asked for once the window is up; the picture is made again when they arrive.
    if (!missing.isEmpty()) {
        for (const QString& url : missing)
            m_pictureRequests.insert(url);
        QTimer::singleShot(0, this, [this, missing] {
            for (const QString& url : missing)
                net()->requestImage(url, nullptr);
        });
    }
    const qreal ratio = devicePixelRatioF();
    const QSize size = ui->thubnailButton->iconSize();
    const QPixmap mosaic = mtRoomMosaic(sources, &FileManager::cachedFile, size, ratio);
    ui->thubnailButton->setIcon(QIcon(mosaic));
}

void ChatDialog::loadNewestPage()
{
    qDebug() << "ChatDialog::updateChatList";
    if (!db())
        return;
    QList<DBChat> page;
    db()->chatList(page, topic(), ChatRules::kPageSize, 0);
    m_unreadCount = unreadCounts().get(topic());
    // A window opening at its read marker makes no items until the first show has placed the
    // marker (the view would make them for the newest rows as it is shown): the batch ends there.
    m_openingAtMarker = m_unreadCount > ChatRules::kMarkerMinUnread;
    if (m_openingAtMarker)
        ui->chatView->beginBatch();
    int countdown = page.size();
    m_batchPaging = true;
    for (DBChat& chat : page) {
        // An upload of this user's still running when its window or the program went has
        // nobody left to finish it: it is failed, with its resend; so is a send the session's
        // outbox no longer holds. The page's records are copies without a connection; the
        // write takes the window's.
        const int state = ChatRules::loadedMsgState(chat.msgState());
        const bool own = chat.senderId() == ownUserId();
        if (own && state != chat.msgState() && !m_session->outbox()->holds(chat.msgId())) {
            chat.setDbManager(db());
            if (!chat.updateMsgState(state))
                qCritical().noquote()
                    << "ChatDialog::updateChatList - not stored as failed, msgId=" << chat.msgId();
            chat.setMsgState(state);
        }
        if (m_unreadCount > ChatRules::kMarkerMinUnread && m_unreadCount == countdown)
            addReadMarker(chat, false);
        addChat(chat, false);
        --countdown;
    }
    m_batchPaging = false;
    ui->chatView->scrollToBottom();
    qDebug() << "ChatDialog::updateChatList END";
}

void ChatDialog::addReadMarker(const DBChat& before, bool insertFirst)
{
    if (m_readMarker)
        return;
    m_readMarker = ui->chatView->addAlarmMessage(
        QString(), tr("I have read until current position."),
        QDateTime::fromMSecsSinceEpoch(before.msgTime()), insertFirst);
}

int ChatDialog::shownChatCount() const
{
    return m_shownIds.size() + m_idlessNotices;
}

void ChatDialog::loadOlderPage()
{
    if (!isVisible() || isDummy() || !db())
        return;
    const int total = db()->chatCount(topic());
    QScrollBar* bar = ui->chatView->verticalScrollBar();
    if (total > shownChatCount()) {
        const int oldMax = bar->maximum();
        addOlderPage();
        if (m_batchPaging)
            return;
        ui->chatView->doItemsLayout();
        bar->setValue(bar->maximum() - oldMax);
        return;
    }
    requestServerHistory();
}

int ChatDialog::addOlderPage(int pages)
{
    const int shown = shownChatCount();
    QList<DBChat> page;
    db()->chatList(page, topic(), ChatRules::kPageSize * pages, shown);
    const int remainingUnread = m_unreadCount - shown;
    int added = 0;
    for (int i = page.size() - 1; i >= 0; --i) {
        addChat(page.at(i), true);
        ++added;
        if (m_unreadCount > ChatRules::kMarkerMinUnread && remainingUnread > 0 &&
            added == remainingUnread)
            addReadMarker(page.at(i), true);
    }
    return added;
}

void ChatDialog::requestServerHistory()
{
    if (m_noMoreServerHistory || m_historyInFlight || !m_session->mtData() ||
        !m_session->mtData()->serverHistoryOption())
        return;
    const QString oldestId = db()->firstChatMessageId(topic());
    const QString stamp = ChatRules::historyTimestamp(oldestId);
    const qint64 roomId = NetServerManager::roomIdFromTopic(topic());
    qDebug().noquote() << "ChatDialog::on_chatView_movedToTop reqChatLoad roomId : " << roomId
                       << ", lastMessageTimestamp : " << stamp << ", lastMessageId : " << oldestId;
    m_historyInFlight = true;
    m_loadingWidget->setGeometry(ui->chatView->rect());
    m_loadingWidget->show();
    if (!net()->reqChatLoad(kReqChatLoad, roomId, stamp.toLongLong())) {
        m_historyInFlight = false;
        m_loadingWidget->hide();
    }
}

void ChatDialog::firstShowFill()
{
    MtChatWidget* view = ui->chatView;
    const int missing = db() ? m_unreadCount - shownChatCount() : 0;
    if (missing > 0 || m_readMarker || m_openingAtMarker) {
        // The pages up to the oldest unread chat in one read of the store and one batch of rows
        // (no items, a single layout), however many: the marker is then placed before the rows
        // in view get their items, and held at the top while their heights settle. A store
        // holding fewer chats than are unread ends the read early; nothing loops.
        m_batchPaging = true;
        if (!m_openingAtMarker)
            view->beginBatch();
        m_openingAtMarker = false;
        if (missing > 0)
            addOlderPage((missing + ChatRules::kPageSize - 1) / ChatRules::kPageSize);
        if (m_readMarker)
            view->showRowAtTop(m_readMarker->listItem());
        view->endBatch();
        m_batchPaging = false;
    }
    if (shownChatCount() < 9 && NetServerManager::roomIdFromTopic(topic()) > 0)
        loadOlderPage();
}

void ChatDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_firstShown || isDummy())
        return;
    m_firstShown = true;
    firstShowFill();
}

void ChatDialog::addChat(const DBChat& chat, bool insertFirst)
{
    const int msgType = chat.msgType();
    MtChatWidget* view = ui->chatView;
    // Asked once, of the rows as the user sees them: the chat's own insert is what lays the view
    // out, once.
    const bool atBottom = !insertFirst && !m_batchPaging && view->wasScrolledToBottom();
    if (msgType == 3 || msgType == 4) {
        removeItem(chat.msgId());
        view->addAlarmMessage(chat.msgId(), chat.toContentText(),
                              QDateTime::fromMSecsSinceEpoch(chat.msgTime()), insertFirst);
        m_shownIds.insert(chat.msgId());
        if (atBottom && !insertFirst && !m_batchPaging)
            view->scrollToBottom();
        return;
    }
    if (msgType == 5) {
        qDebug().noquote() << "ChatDialog::addChat leaveId:" << chat.content();
        view->addAlarmMessage(QString(), chat.toContentText(),
                              QDateTime::fromMSecsSinceEpoch(chat.msgTime()), insertFirst);
        ++m_idlessNotices;
        if (atBottom && !insertFirst)
            view->scrollToBottom();
        return;
    }
    if (chat.senderId() == ownUserId())
        addMyChatItem(chat, insertFirst);
    else
        addOtherChat(chat, insertFirst, atBottom);
}

void ChatDialog::removeItem(const QString& messageId)
{
    // Only a chat already shown has a row to replace; the look-up is skipped for the others.
    if (!m_shownIds.contains(messageId))
        return;
    MtChatBaseItem* item = ui->chatView->findItem(messageId);
    if (!item || !item->listItem())
        return;
    QListWidgetItem* row = ui->chatView->takeItem(ui->chatView->row(item->listItem()));
    item->deleteLater();
    delete row;
    m_shownIds.remove(messageId);
}

QPixmap ChatDialog::thumbnailFor(const DBChat& chat)
{
    if (chat.contentType() != 2 && chat.contentType() != 3)
        return QPixmap();
    QString path = chat.remoteThumbUrl().isEmpty() ? QString()
                                                   : FileManager::cachedFile(chat.remoteThumbUrl());
    if (path.isEmpty() && QFileInfo::exists(chat.filePath()))
        path = chat.filePath();
    if (path.isEmpty()) {
        if (!chat.remoteThumbUrl().isEmpty()) {
            m_thumbRequests[chat.remoteThumbUrl()] << chat.msgId();
            net()->requestImage(chat.remoteThumbUrl(), nullptr);
        }
        return QPixmap();
    }
    return QPixmap(path);
}

MtChatBaseItem* ChatDialog::addMyChatItem(const DBChat& stored, bool insertFirst)
{
    if (stored.contentType() < 1 || stored.contentType() > 4)
        return nullptr;
    // An uploaded chat the outbox still sends is shown sending, not failed.
    DBChat chat = stored;
    if (chat.msgState() == MsgStateUploaded && m_session->outbox()->holds(chat.msgId()))
        chat.setMsgState(MsgStateNew);
    removeItem(chat.msgId());
    if (insertFirst) {
        // History pages make no item for rows far from the viewport.
        if (ui->chatView->addChatRow(chat, true, QPixmap(), thumbnailFor(chat), true))
            m_shownIds.insert(chat.msgId());
        return nullptr;
    }
    if (m_batchPaging) {
        // A page being loaded: rows only, scrolled once at its end.
        if (ui->chatView->addChatRow(chat, true, QPixmap(), thumbnailFor(chat), false))
            m_shownIds.insert(chat.msgId());
        return nullptr;
    }
    MtChatBaseItem* item =
        ui->chatView->addChat(chat, true, QPixmap(), thumbnailFor(chat), insertFirst);
    if (item)
        m_shownIds.insert(chat.msgId());
    ui->chatView->scrollToBottom();
    return item;
}

QPixmap ChatDialog::senderPicture(const QString& url, bool inBurst)
{
    // A page of history names the same few senders again and again: each picture is looked up
    // on disk once per burst of rows (a file check, its time and a decode otherwise cost more
    // than the row). The memory lasts until the event loop, so a picture downloaded later is
    // seen by the next rows.
    if (inBurst) {
        const auto known = m_burstPictures.constFind(url);
        if (known != m_burstPictures.constEnd())
            return *known;
    }
    QPixmap picture;
    const QString pictureFile = url.isEmpty() ? QString() : FileManager::cachedFile(url);
    if (!pictureFile.isEmpty())
        picture.load(pictureFile);
    // Loaded by name, the default picture would be looked up in the resources at every chat.
    const QString fallbackKey = QStringLiteral("ChatDialog/defaultPicture");
    if (picture.isNull() && !QPixmapCache::find(fallbackKey, &picture)) {
        picture.load(QStringLiteral(":/images/profile.png"));
        QPixmapCache::insert(fallbackKey, picture);
    }
    if (inBurst) {
        if (m_burstPictures.isEmpty())
            QTimer::singleShot(0, this, [this] { m_burstPictures.clear(); });
        m_burstPictures.insert(url, picture);
    }
    return picture;
}

MtChatBaseItem* ChatDialog::addOtherChatItem(const DBChat& chat, bool insertFirst)
{
    return addOtherChat(chat, insertFirst,
                        !insertFirst && !m_batchPaging && ui->chatView->wasScrolledToBottom());
}

MtChatBaseItem* ChatDialog::addOtherChat(const DBChat& chat, bool insertFirst, bool atBottom)
{
    if (chat.contentType() < 1 || chat.contentType() > 4)
        return nullptr;
    MtChatWidget* view = ui->chatView;
    removeItem(chat.msgId());
    const bool rowOnly = insertFirst || m_batchPaging;
    const QPixmap picture = senderPicture(chat.senderThumbUrl(), rowOnly);
    if (rowOnly) {
        if (view->addChatRow(chat, false, picture, thumbnailFor(chat), insertFirst))
            m_shownIds.insert(chat.msgId());
        return nullptr;
    }
    MtChatBaseItem* item = view->addChat(chat, false, picture, thumbnailFor(chat), insertFirst);
    if (item)
        m_shownIds.insert(chat.msgId());
    {
        if (atBottom)
            view->scrollToBottom();
        else
            view->showNewMessage(chat.senderName() + QStringLiteral(" : ") + chat.toContentText());
    }
    return item;
}

void ChatDialog::updateReadCounts(const QVariantMap& reads)
{
    for (auto it = reads.cbegin(); it != reads.cend(); ++it) {
        if (m_shownIds.contains(it.key()))
            ui->chatView->setMessageReadCount(it.key(), it.value().toInt());
    }
}

void ChatDialog::onChatForWindow(const QString& chatTopic, const DBChat& chat, bool own)
{
    if (chatTopic != topic() || isDummy())
        return;
    if (own) {
        addMyChatItem(chat, false);
        return;
    }
    addChat(chat, false);
    ui->chatView->announce(chat.msgId());
}

void ChatDialog::onReadCounts(const QString& chatTopic, const QVariantMap& reads)
{
    if (chatTopic == topic() && !isDummy())
        updateReadCounts(reads);
}

void ChatDialog::onRoomChanged(const DBChatRoom& changed, const DBChat& notice)
{
    if (isDummy() || changed.topic() != topic())
        return;
    updateChatRoom(changed);
    if (!notice.msgId().isEmpty() || notice.msgType() == 5)
        addChat(notice, false);
}

void ChatDialog::customEvent(QEvent* event)
{
    if (event->type() != AddChatEvent::eventType()) {
        QDialog::customEvent(event);
        return;
    }
    const DBChat& chat = static_cast<AddChatEvent*>(event)->m_chat;
    qCDebug(lcMessageTrace).noquote() << "ChatDialog::customEvent AddChatEvent"
                                      << " chat.msg:" << chat.content();
    addChat(chat, false);
}

void ChatDialog::postChat(QObject* window, const DBChat& chat)
{
    QCoreApplication::postEvent(window, new AddChatEvent(chat));
}

void ChatDialog::enterRoom()
{
    if (isDummy() || m_windowActive)
        return;
    m_windowActive = true;
    const qint64 readTime = db() ? db()->firstUnreadTime(m_room, ownUserId()) : 0;
    if (MqttManager* mqtt = m_session->messaging())
        mqtt->sendReadEnter(topic(), readTime);
    if (readTime > 0) {
        qDebug().noquote() << "ChatDialog::eventFilter - [READ_ENTER][WindowActivate] topic="
                           << topic() << ", readTime=" << readTime;
        db()->updateReadAll(topic(), 0);
    }
    m_session->chatWindowActivated(topic());
    emit activated(topic());
}

void ChatDialog::leaveRoomPresence()
{
    if (isDummy() || !m_windowActive)
        return;
    m_windowActive = false;
    if (MqttManager* mqtt = m_session->messaging())
        mqtt->sendReadLeave(topic());
    m_session->chatWindowDeactivated(topic());
    emit deactivated(topic());
}

void ChatDialog::done(int result)
{
    m_closedWhileActive = isActiveWindow();
    saveDraft();
    leaveRoomPresence();
    closeAllPopup();
    failUnfinishedUploads();
    const QString closedTopic = topic();
    QDialog::done(result);
    if (!closedTopic.isEmpty())
        m_session->chatWindowClosed(closedTopic);
    emit closed(closedTopic);
}

bool ChatDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this) {
        if (event->type() == QEvent::WindowActivate)
            enterRoom();
        else if (event->type() == QEvent::WindowDeactivate)
            leaveRoomPresence();
        return QDialog::eventFilter(watched, event);
    }
    if (watched == ui->textEdit) {
        if (event->type() == QEvent::InputMethod) {
            m_preedit = static_cast<QInputMethodEvent*>(event)->preeditString();
        } else if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            // Escape closes the window as its close button does, but never loses a draft.
            if (key->key() == Qt::Key_Escape) {
                if (ui->textEdit->toPlainText().isEmpty())
                    accept();
                return true;
            }
            return handleSendKey(key);
        }
        return QDialog::eventFilter(watched, event);
    }
    if (watched == ui->searchLineEdit->lineEdit() && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        closeSearch();
        return true;
    }
    if (watched == ui->chatView->viewport() || watched == this) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            if (drag->mimeData()->hasUrls()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            handleDrop(static_cast<QDropEvent*>(event));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ChatDialog::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ChatDialog::dropEvent(QDropEvent* event)
{
    handleDrop(event);
}

void ChatDialog::adjustInputHeight()
{
    ui->textEdit->setMaximumHeight(ChatRules::inputBoxMaxHeight(ui->textEdit->toPlainText()));
}

void ChatDialog::toggleAlarm()
{
    m_alarmOn = !m_alarmOn;
    if (MTData* data = m_session->mtData()) {
        DBEditor editor;
        data->setTopicAlarm(editor, topic(), m_alarmOn, db());
    }
    m_alarmWidget->showAlarm(m_alarmOn);
    updateAlarmButton();
}

void ChatDialog::updateAlarmButton()
{
    qDebug() << "ChatDialog::updateAlarmButton" << m_alarmOn;
    ui->alarmButton->setStyleSheet(
        m_alarmOn ? QStringLiteral("QToolButton { border: none; image: url(:/images/alarm_p.png); }"
                                   "QToolButton:hover { image: url(:/images/alarm.png); }")
                  : QStringLiteral("QToolButton { border: none; "
                                   "image: url(:/images/alarm_off_mini.png); }"));
    ui->alarmButton->setProperty("alarmOn", m_alarmOn);
    // The picture shows the switch's state; a screen reader says it.
    ui->alarmButton->setAccessibleName(m_alarmOn ? tr("Alarm: on") : tr("Alarm: off"));
}

namespace {
QString settingsPath()
{
    return FileManager::dataFilePath(kSettingsFile);
}
std::unique_ptr<QSettings> openSettings()
{
    auto settings = std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
    settings->setIniCodec("UTF-8");
    return settings;
}
} // namespace

bool ChatDialog::hasSavedGeometry() const
{
    if (isDummy())
        return false;
    auto settings = openSettings();
    settings->beginGroup(topic());
    return settings->contains(QStringLiteral("Geometry"));
}

void ChatDialog::restoreGeometry()
{
    qDebug() << "ChatDialog::updateSavedGeometry";
    if (!hasSavedGeometry())
        return;
    auto settings = openSettings();
    settings->beginGroup(topic());
    const QRect rect = settings->value(QStringLiteral("Geometry")).toRect();
    const bool maximized = settings->value(QStringLiteral("IsMaximum"), false).toBool();
    if (rect.isValid()) {
        bool onScreen = false;
        for (QScreen* screen : QGuiApplication::screens())
            onScreen = onScreen || screen->availableGeometry().contains(rect);
        if (onScreen)
            setGeometry(rect);
        else
            resize(rect.size());
    }
    setWindowState(maximized ? Qt::WindowMaximized : Qt::WindowNoState);
}

void ChatDialog::saveWindowGeometry()
{
    if (isDummy() || m_geometryRemoved)
        return;
    auto settings = openSettings();
    settings->beginGroup(topic());
    const QRect rect = isMaximized() ? normalGeometry() : geometry();
    // A window closed where it was opened writes nothing: each write syncs the file to the disk
    // on this thread.
    if (settings->value(QStringLiteral("Geometry")).toRect() == rect &&
        settings->contains(QStringLiteral("IsMaximum")) &&
        settings->value(QStringLiteral("IsMaximum")).toBool() == isMaximized())
        return;
    settings->setValue(QStringLiteral("Geometry"), rect);
    settings->setValue(QStringLiteral("IsMaximum"), isMaximized());
    settings->endGroup();
    settings->sync();
    qDebug().noquote() << "ChatDialog::saveGeometry"
                       << " topic:" << topic() << " rect:" << rect;
}

void ChatDialog::removeSaveGeometry()
{
    m_geometryRemoved = true;
    if (isDummy())
        return;
    auto settings = openSettings();
    settings->remove(topic());
    settings->sync();
}

namespace {
// Server and peer texts are shown as they are, never as markup.
void plainTextLabels(QWidget* box)
{
    for (QLabel* label : box->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
}
} // namespace

void ChatDialog::showMessage(const QString& text, const QString& title)
{
    auto* box = new MtMessageDialog(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setOkOnly(true);
    box->setWindowTitle(title);
    box->setText(text);
    plainTextLabels(box);
    m_popups << box;
    box->open();
}

bool ChatDialog::askQuestion(const QString& text)
{
    QPointer<ChatDialog> self(this);
    MtMessageDialog box(this);
    box.setText(text);
    plainTextLabels(&box);
    m_popups << &box;
    const int answer = box.exec();
    // The window may have been closed and deleted while the box ran.
    if (!self)
        return false;
    m_popups.removeAll(&box);
    return answer == QDialog::Accepted;
}

void ChatDialog::closeAllPopup()
{
    qDebug() << "ChatDialog::closeAllPopup START";
    const auto popups = m_popups;
    m_popups.clear();
    for (const QPointer<QWidget>& popup : popups) {
        if (!popup)
            continue;
        if (auto* dialog = qobject_cast<QDialog*>(popup.data()))
            dialog->reject();
        else
            popup->close();
    }
    qDebug() << "ChatDialog::closeAllPopup END";
}
