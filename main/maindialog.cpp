#include "main/maindialog.h"
#include "ui_maindialog.h"

#include "main/chatroomlist.h"
#include "main/chatwindows.h"
#include "main/globaleventfilter.h"
#include "messaging/mqttmanager.h"
#include "notify/alarmwidget.h"
#include "notify/backalertdialog.h"
#include "notify/toaststack.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"
#include "widgets/mtaccessible.h"
#include "widgets/mtframeless.h"
#include "widgets/mtloadingwidget.h"
#include "widgets/mtpicture.h"
#include "widgets/mtsearchlineedit.h"

#include <QDebug>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {
MainDialog* g_mainDialog = nullptr;
const QSize kChatDialogSize(396, 601);
} // namespace

MainDialog::MainDialog(QWidget* parent) : MainDialog(ServerConfig::load(), parent) {}

MainDialog::MainDialog(const ServerConfig& config, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Window), ui(new Ui::MainDialog),
      m_config(config), m_settings(std::make_unique<LocalSettings>())
{
    qRegisterMetaType<DBChat>("DBChat");
    qRegisterMetaType<DBChatRoom>("DBChatRoom");
    setObjectName(QStringLiteral("MainDialog"));
    g_mainDialog = this;
    mtBoundPictureCache();
    // Without a system frame the window is moved by its body and resized by its edges.
    new MtFrameLess(this, true);
    ui->setupUi(this);
    ui->searchLineEdit->setPlaceholderText(tr("Search Chatt Room"));
    ui->lockMessageLabel->setText(tr("Unlock mode status"));
    ui->menuButton->setText(QStringLiteral("\u2261"));
    MtAccessible::hide(ui->logoLabel);
    ui->lockImgLabel->setAccessibleName(tr("My picture"));
    // The lock page takes the window over while the user is away: a screen reader says so when it
    // appears, as it does for a message box, and what brings the conversation back.
    MtAccessible::markAlert(ui->page_3);
    ui->page_3->setAccessibleDescription(tr("Enter your password to unlock"));
    // Return in a line edit must not also click a default button of the dialog: each field's
    // Return does its own work once (the password field logs in, the lock page's field unlocks).
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    m_positionTimer.setParent(this);
    m_positionTimer.setObjectName(QStringLiteral("positionTimer"));
    m_positionTimer.setSingleShot(true);
    m_positionTimer.setInterval(kPositionSaveMsec);
    connect(&m_positionTimer, &QTimer::timeout, this, &MainDialog::saveCurrentWindowPosition);

    m_chatWindows = new ChatWindows(this, this);
    connect(m_chatWindows, &ChatWindows::activated, this, [this](const QString& topic) {
        qDebug().noquote().nospace() << "MainDialog::onChatWindowActivate - topic=" << topic;
        flashWindow(0);
    });
    // Closing the chat window one was in brings the keyboard back to the room list, where the
    // room was opened, rather than wherever the window manager puts it.
    connect(m_chatWindows, &ChatWindows::activeWindowClosed, this, [this] {
        if (!isVisible() || ui->stackedWidget->currentIndex() != RoomListPage)
            return;
        raise();
        activateWindow();
        focusRoomList();
    });
    connect(m_chatWindows, &ChatWindows::roomCreated, this, &MainDialog::onRoomAdded);
    connect(m_chatWindows, &ChatWindows::roomInvited, this, &MainDialog::onRoomAdded);
    connect(m_chatWindows, &ChatWindows::roomLeft, this,
            [this](const QString& topic) { ui->chatRoomListWidget->deleteChatRoom(topic); });
    connect(m_chatWindows, &ChatWindows::sessionFailure, this,
            &MainDialog::onChatWindowSessionFailure);
    connect(m_chatWindows, &ChatWindows::newRoomRequested, this, &MainDialog::onClickNewChatRoom);
    connect(m_chatWindows, &ChatWindows::openChatRoomRequested, this, &MainDialog::requestChat);
    initGlobalEventFilter();

    connect(ui->loginButton, &QPushButton::clicked, this, &MainDialog::clickedLoginButton);
    connect(ui->unlockButton, &QPushButton::clicked, this, &MainDialog::clickedUnlockButton);
    connect(ui->logoutButton, &QPushButton::clicked, this, &MainDialog::clickedLogoutButton);
    connect(ui->alarmButton, &QPushButton::clicked, this, &MainDialog::clickedAlarmButton);
    connect(ui->menuButton, &QPushButton::clicked, this, &MainDialog::clickedMenuButton);
    connect(ui->chatRoomListWidget, &QListWidget::itemDoubleClicked, this,
            &MainDialog::itemDoubleClickedFromChatRoomListWidget);
    connect(ui->chatRoomListWidget, &ChatRoomList::selectedItemWidget, this,
            &MainDialog::itemDoubleClickedFromChatRoomListWidget);
    connect(ui->lockPasswordLineEdit, &QLineEdit::textChanged, this,
            &MainDialog::textChangedFromLock);

    initChatPopupButton();
    initAction();
    initTrayIcon();
    initSettings();
    QTimer::singleShot(1, this, &MainDialog::initUi);
    installEventFilter(this);
    ui->stackedWidget->widget(LoginPage)->installEventFilter(this);
    restoreCurrentWindowPosition();
}

MainDialog::~MainDialog()
{
    if (g_mainDialog == this)
        g_mainDialog = nullptr;
    // Chat windows and toasts are top-level windows of their own; the session goes before the
    // list that shows its store.
    delete m_chatWindows;
    m_chatWindows = nullptr;
    delete m_toasts;
    m_toasts = nullptr;
    ui->chatRoomListWidget->setSession(nullptr, nullptr, 0);
    delete m_session;
    m_session = nullptr;
    delete ui;
}

MainDialog* MainDialog::instance()
{
    return g_mainDialog;
}

MtSession* MainDialog::session()
{
    if (!m_session) {
        m_session = new MtSession(m_config, this);
        m_session->setSettings(m_settings.get());
        m_session->setChatWindows(m_chatWindows);
        m_chatWindows->setSession(m_session);
        connectSession(m_session);
    }
    return m_session;
}

DBManager* MainDialog::dbManager() const
{
    return m_session ? m_session->db() : nullptr;
}

ChatRoomList* MainDialog::chatRoomList() const
{
    return ui->chatRoomListWidget;
}

int MainDialog::currentPage() const
{
    return ui->stackedWidget->currentIndex();
}

void MainDialog::connectSession(MtSession* s)
{
    connect(s, &MtSession::loginSucceeded, this, &MainDialog::onLoginSucceeded);
    connect(s, &MtSession::loginFailed, this, &MainDialog::onLoginFailed);
    connect(s, &MtSession::loginTakenOver, this, &MainDialog::onLoginTakenOver);
    connect(s, &MtSession::unlocked, this, &MainDialog::onUnlocked);
    connect(s, &MtSession::unlockFailed, this, &MainDialog::onUnlockFailed);
    connect(s, &MtSession::locked, this, &MainDialog::lockScreen);
    connect(s, &MtSession::versionRefused, this, &MainDialog::onVersionRefused);
    connect(s, &MtSession::roomsShown, this, &MainDialog::onRoomsShown);
    connect(s, &MtSession::roomsReady, this, &MainDialog::onRoomsReady);
    connect(s, &MtSession::requestFailed, this, &MainDialog::onRequestFailed);
    connect(s, &MtSession::loggedOff, this, &MainDialog::logoutUiProcess);
    connect(s, &MtSession::accountRemoved, this, &MainDialog::onAccountRemoved);
    connect(s, &MtSession::sessionEnded, this, &MainDialog::onSessionEnded);
    connect(s, &MtSession::messagingConnected, this,
            [] { qDebug().noquote() << "MainDialog::connectedFromMqttManager"; });
    connect(s, &MtSession::messagingDisconnected, this, [this] {
        qDebug().noquote() << "MainDialog::disconnectedFromMqttManager";
        hideLoading();
    });
    connect(s, &MtSession::storeUnavailable, this, [this] {
        qWarning().noquote() << "MainDialog::storeUnavailable - received chats wait at the server";
        m_notices.information(this, tr("New messages cannot be saved on this computer: the disk "
                                       "may be full. They are kept on the server and arrive as "
                                       "soon as saving works again."));
    });
    connect(s, &MtSession::remoteLogout, this,
            [](const QString& topic, int type, const QDateTime& time) {
                qDebug().noquote().nospace()
                    << "MainDialog::logoutFromMqttManager topic:" << topic
                    << " messageType:" << type << " dateTime:" << time.toString();
            });
    connect(s, &MtSession::roomListChats, this, &MainDialog::onRoomListChats);
    connect(s, &MtSession::notify, this, &MainDialog::addedNewChatMessage);
    connect(s, &MtSession::roomAdded, this, &MainDialog::onRoomAdded);
    connect(s, &MtSession::roomChanged, this, &MainDialog::onRoomChanged);
    connect(s, &MtSession::roomRemoved, this, &MainDialog::onRoomRemoved);
    connect(s, &MtSession::unreadChanged, this, &MainDialog::onUnreadChanged);
}

void MainDialog::initUi()
{
    qDebug().noquote().nospace() << "MainDialog::initUi";
    m_chatWindows->resetPlacement();
    initNewChatDialogPosition(kChatDialogSize);
    setWindowTitle(tr("PLOVEX(Chat)"));
    ui->titleLabel->setText(tr("PLOVEX(Chat)"));
    setWindowIcon(QIcon(QStringLiteral(":/veltritalk.ico")));
    ui->msgLabel->setText(QString::fromLatin1(MTData::kVersion));
    ui->msgLabel->setAccessibleName(tr("Version %1").arg(QString::fromLatin1(MTData::kVersion)));

    const QString account = m_settings->autologinAccount();
    // Only an account whose database is on this machine can be restored; the session is made
    // for it alone, so a cold start to the login page stays light.
    const bool restored = !account.isEmpty() &&
                          QFileInfo::exists(DBManager::databaseFilePath(account)) &&
                          session()->restore(account);
    qDebug().noquote().nospace() << "MainDialog::initUi isAutoLogin:" << restored
                                 << " autoLoginAccount:" << account;
    if (restored)
        return; // the session said locked(): the lock page is up
    showPage(LoginPage);
    ui->idLineEdit->setFocus();
    ui->autoLoginCheckBox->setChecked(true);
}

void MainDialog::showPage(Page page)
{
    const bool arriving = ui->stackedWidget->currentIndex() != page;
    ui->stackedWidget->setCurrentIndex(page);
    m_loginAheadDue = page == LoginPage;
    m_chatPopupButton->setVisible(page == RoomListPage);
    if (page == RoomListPage)
        m_chatPopupButton->raise();
    // After a login or an unlock the keyboard is in the rooms: arrows move, Return opens.
    if (page == RoomListPage && arriving)
        focusRoomList();
}

void MainDialog::focusRoomList()
{
    ChatRoomList* list = ui->chatRoomListWidget;
    if (!list->currentItem() && list->count() > 0)
        list->setCurrentRow(0);
    list->setFocus(Qt::OtherFocusReason);
}

void MainDialog::messageReceivedFromApplication(const QString& msg)
{
    qDebug().noquote().nospace() << "MainDialog::messageReceivedFromApplication msg:" << msg;
    if (msg != QLatin1String("show"))
        return;
    qDebug().noquote().nospace() << "MainDialog::messageReceivedFromApplication restore window";
    showNormal();
    raise();
    activateWindow();
}

void MainDialog::on_minimizeButton_clicked()
{
    showMinimized();
}

void MainDialog::on_maximumButton_clicked()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void MainDialog::on_closeButton_clicked()
{
    // The program lives in the tray; closing the window only hides it.
    hide();
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        // New chat windows start beside the window again, wherever it went.
        m_chatWindows->resetPlacement();
        // Only a move or resize from the window system (the user's) is written: the window's own
        // placement when it shows only repeated what the next start works out again, with a disk
        // sync in the middle of a login.
        if (event->spontaneous())
            m_positionTimer.start();
    }
    if (m_loginAheadDue && event->type() == QEvent::Paint &&
        watched == ui->stackedWidget->widget(LoginPage)) {
        // After the paint: the page is up before anything else is done.
        m_loginAheadDue = false;
        QTimer::singleShot(0, this, [this] {
            if (currentPage() != LoginPage)
                return;
            session()->prepareLogin();
            layOutRoomListPage();
            ui->chatRoomListWidget->prepareRows(session()->net());
        });
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (m_chatPopupButton)
        m_chatPopupButton->move(width() - m_chatPopupButton->width() - 20,
                                height() - m_chatPopupButton->height() - kChatPopupButtonMargin);
    if (m_loading)
        m_loading->setGeometry(rect());
}

void MainDialog::saveCurrentWindowPosition()
{
    m_positionTimer.stop();
    const QRect rect = normalGeometry();
    qDebug().noquote().nospace() << "MainDialog::saveCurrentWindowPosition rect:" << rect.x() << ","
                                 << rect.y() << "," << rect.width() << "x" << rect.height();
    m_settings->setWindowGeometry(rect);
}

void MainDialog::restoreCurrentWindowPosition()
{
    const QRect stored = m_settings->windowGeometry();
    if (stored.width() == 0 || stored.height() == 0)
        return;
    const QList<QScreen*> screens = QGuiApplication::screens();
    const bool inside = std::any_of(screens.begin(), screens.end(), [&](const QScreen* screen) {
        return screen->availableGeometry().contains(stored);
    });
    if (inside)
        setGeometry(stored);
    else
        resize(stored.size());
    // Restoring is not a move of the user's: nothing to save.
    m_positionTimer.stop();
}

QPoint MainDialog::initNewChatDialogPosition(const QSize& size)
{
    return m_chatWindows->initPosition(size);
}

QPoint MainDialog::nextNewChatDialogPosition(const QSize& size)
{
    return m_chatWindows->nextPosition(size);
}

void MainDialog::showLoading()
{
    if (!m_loading) {
        m_loading = new MtLoadingWidget(this);
        m_loading->setGeometry(rect());
    }
    m_loading->show();
    m_loading->raise();
}

void MainDialog::hideLoading()
{
    if (m_loading)
        m_loading->hide();
}

void MainDialog::showNotice(const QString& text)
{
    if (!text.isEmpty())
        m_notices.information(this, text);
}
