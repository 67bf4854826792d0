// The tray icon and the menus, the idle lock and the lock page, the alarm switch and the user's
// settings.
#include "main/maindialog.h"
#include "ui_maindialog.h"

#include "account/settingsdialog.h"
#include "invite/chatinvitedialog.h"
#include "main/chatwindows.h"
#include "main/globaleventfilter.h"
#include "main/mainmenuitems.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "notify/alarmwidget.h"
#include "notify/toaststack.h"
#include "platform/autorun.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "store/mtdata.h"
#include "widgets/mtpicture.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QMenu>
#include <QPushButton>

namespace {
const char* const kDefaultLockPicture = ":/images/profile_x2.png";
// The name of the start-up entry: the shortcut of the user's Startup folder, or the XDG
// autostart file.
const char* const kAutoRunName = "VeltriTalk";
} // namespace

void MainDialog::initAction()
{
    const auto add = [this](MainMenuItems::Item item, void (MainDialog::*slot)()) {
        auto* a = new QAction(MainMenuItems::text(item), this);
        connect(a, &QAction::triggered, this, slot);
        m_actions.insert(item, a);
    };
    add(MainMenuItems::CreateChat, &MainDialog::clickedCreateChat);
    add(MainMenuItems::LockMode, &MainDialog::clickedLockMode);
    add(MainMenuItems::Settings, &MainDialog::clickedSettings);
    add(MainMenuItems::Exit, &MainDialog::clickedExit);
    add(MainMenuItems::Open, &MainDialog::clickedOpen);
    add(MainMenuItems::LogOff, &MainDialog::clickedLogout);
    // Ctrl+Q quits from the window, as on the desktop's other programs; the menus show the key.
    QAction* exit = m_actions.value(MainMenuItems::Exit);
    exit->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_Q));
    exit->setShortcutContext(Qt::WindowShortcut);
    addAction(exit);
}

void MainDialog::initTrayIcon()
{
    m_trayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/veltritalk.ico")), this);
    updateTrayContextMenu();
    m_trayIcon->setVisible(true);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &MainDialog::activatedFromTrayIcon);
}

void MainDialog::initChatPopupButton()
{
    m_chatPopupButton = new QPushButton(this);
    m_chatPopupButton->setObjectName(QStringLiteral("chatPopupButton"));
    m_chatPopupButton->setFixedSize(kChatPopupButtonSize, kChatPopupButtonSize);
    m_chatPopupButton->setCursor(Qt::PointingHandCursor);
    m_chatPopupButton->setAutoDefault(false);
    // A picture-only button: a screen reader says what it does.
    m_chatPopupButton->setAccessibleName(MainMenuItems::text(MainMenuItems::CreateChat));
    m_chatPopupButton->setStyleSheet(
        QStringLiteral("border: none; background-image: url(:/images/chatlist_menu_plus.png);"));
    m_chatPopupButton->hide();
    // It floats over the bottom of the room list: no row stays under it.
    ui->chatRoomListWidget->reserveBottom(kChatPopupButtonSize + kChatPopupButtonMargin);
    connect(m_chatPopupButton, &QPushButton::clicked, this, &MainDialog::clickedCreateChat);
}

void MainDialog::initGlobalEventFilter()
{
    m_eventFilter = new GlobalEventFilter(this);
    connect(m_eventFilter, &GlobalEventFilter::lockMode, this, &MainDialog::clickedLockMode);
    qApp->installEventFilter(m_eventFilter);
}

void MainDialog::initSettings()
{
    qDebug().noquote().nospace() << "MainDialog::initSettings AlarmDisplayTime:"
                                 << m_settings->alarmDisplayTime()
                                 << " AlarmType:" << m_settings->alarmType()
                                 << " AutoLock:" << m_settings->autoLock()
                                 << " AutoRun:" << m_settings->autoRun();
    m_eventFilter->setLockTime(m_settings->autoLock());
    autoRunSettings();
}

void MainDialog::updateTrayContextMenu()
{
    const bool login = m_session && m_session->state().isLoggedIn();
    const bool lock = m_session && m_session->state().isLocked();
    const MainMenuItems::Menu items = MainMenuItems::trayMenu(login, lock);
    auto* menu = new QMenu(this);
    for (MainMenuItems::Item item : items.items) {
        if (item == MainMenuItems::Separator)
            menu->addSeparator();
        else
            menu->addAction(action(item));
    }
    m_trayIcon->setContextMenu(menu);
    m_trayIcon->setToolTip(tr("PLOVEX(Chat)"));
    // The tray may still be showing the old menu: it goes once control is back.
    if (m_trayMenu)
        m_trayMenu->deleteLater();
    m_trayMenu = menu;
}

QMenu* MainDialog::createMainMenu()
{
    const bool login = m_session && m_session->state().isLoggedIn();
    const bool lock = m_session && m_session->state().isLocked();
    const MainMenuItems::Menu items = MainMenuItems::mainMenu(login, lock);
    auto* menu = new QMenu(this);
    if (items.styled)
        menu->setStyleSheet(QLatin1String(MainMenuItems::kMainMenuStyleSheet));
    for (MainMenuItems::Item item : items.items) {
        if (item == MainMenuItems::Separator)
            menu->addSeparator();
        else
            menu->addAction(action(item));
    }
    return menu;
}

void MainDialog::clickedMenuButton()
{
    qDebug().noquote() << "MainDialog::clickedMenuButton";
    QMenu* menu = createMainMenu();
    menu->exec(ui->menuButton->mapToGlobal(QPoint(0, ui->menuButton->height())));
    menu->deleteLater();
}

void MainDialog::activatedFromTrayIcon(QSystemTrayIcon::ActivationReason reason)
{
    qDebug().noquote().nospace() << "MainDialog::activatedFromTrayIcon reason" << int(reason);
    if (reason == QSystemTrayIcon::DoubleClick)
        clickedOpen();
}

void MainDialog::clickedOpen()
{
    qDebug().noquote() << "MainDialog::clickedOpen";
    showNormal();
    raise();
    activateWindow();
}

void MainDialog::clickedExit()
{
    qDebug().noquote() << "MainDialog::clickedExit";
    QApplication::quit();
}

void MainDialog::clickedAbout()
{
    qDebug().noquote() << "MainDialog::clickedAbout";
}

void MainDialog::clickedCreateChat()
{
    qDebug().noquote() << "MainDialog::clickedCreateChat invite ui without org chat hide";
    if (!m_session || !m_session->state().isLoggedIn() || m_session->state().isLocked() ||
        !m_session->mtData())
        return;
    ChatInviteDialog dialog(m_session->db(), m_session->mtData()->userId(), this);
    dialog.setPictureSource(m_session->net());
    if (!dialog.setData(QString(), InviteSelection::kNewConversation))
        return;
    connect(&dialog, &ChatInviteDialog::newChatRoomOk, this, [this](const QList<int>& users) {
        onClickNewChatRoom(QList<qint64>(users.begin(), users.end()));
    });
    dialog.exec();
}

void MainDialog::clickedSettings()
{
    qDebug().noquote() << "MainDialog::clickedSettings";
    if (!m_session || !m_session->state().isLoggedIn() || m_session->state().isLocked())
        return;
    SettingsDialog dialog(m_session, *m_settings, this);
    connect(&dialog, &SettingsDialog::settingsChanged, this, &MainDialog::updateSettings);
    connect(&dialog, &SettingsDialog::logoutCompleted, this, &MainDialog::profileLogoutOk);
    // A removed picture arrives as settings change 4; a new one is shown on the lock page.
    connect(&dialog, &SettingsDialog::myProfileChanged, this,
            [this](const QString&, const QString& thumbUrl) {
                if (!thumbUrl.isEmpty())
                    setLockPicture(thumbUrl);
            });
    // The idle lock waits while the user is choosing settings.
    m_eventFilter->setSuppressed(true);
    dialog.exec();
    m_eventFilter->setSuppressed(false);
}

void MainDialog::clickedLockMode()
{
    qDebug().noquote() << "MainDialog::clickedLockMode";
    if (!m_session || !m_session->state().isLoggedIn() || m_session->state().isLocked())
        return;
    closeAllChatDialog();
    // A toast left up over the lock page would open its room with a click.
    if (m_toasts)
        m_toasts->closeAll();
    m_session->lock();
}

void MainDialog::lockScreen()
{
    MTData* data = m_session ? m_session->mtData() : nullptr;
    const QString account = data ? data->myAccount() : QString();
    qDebug().noquote().nospace() << "MainDialog::lockScreen lockThumbUrl "
                                 << (data ? data->imageUrl() : QString())
                                 << " m_mtData->myAccount():" << account;
    closeAllChatDialog();
    if (m_toasts)
        m_toasts->closeAll();
    m_eventFilter->stopLockMode();
    ui->lockAccntLabel->setText(account);
    ui->lockPasswordLineEdit->clear();
    showPage(LockPage);
    // After the page change: the picture is fetched as one the user sees now.
    setLockPicture(data ? data->imageUrl() : QString());
    ui->lockPasswordLineEdit->setEnabled(true);
    ui->unlockButton->setEnabled(false);
    ui->lockPasswordLineEdit->setFocus();
    hideLoading();
    updateTrayContextMenu();
}

void MainDialog::setLockPicture(const QString& url)
{
    const QSize size = ui->lockImgLabel->minimumSize();
    QString file;
    // While another page is up the picture is only prefetched, behind the pictures of the rows
    // the user looks at; the lock page reads it from the cache, or waits for it, when it is shown.
    QWidget* waiter = currentPage() == LockPage ? ui->lockImgLabel : nullptr;
    if (!url.isEmpty() && m_session && m_session->net())
        file = m_session->net()->requestImage(url, waiter);
    const QPixmap cached = file.isEmpty() ? QPixmap() : QPixmap(file);
    const QPixmap picture =
        cached.isNull() ? mtLoadPicture(QLatin1String(kDefaultLockPicture)) : cached;
    ui->lockImgLabel->setPixmap(mtRoundPicture(picture, size));
}

void MainDialog::textChangedFromLock(const QString& text)
{
    ui->unlockButton->setEnabled(!text.isEmpty() && ui->lockPasswordLineEdit->isEnabled());
}

void MainDialog::on_lockPasswordLineEdit_returnPressed()
{
    // Return unlocks as the button does, and only when the button would.
    if (ui->unlockButton->isEnabled())
        clickedUnlockButton();
}

void MainDialog::clickedUnlockButton()
{
    const QString password = ui->lockPasswordLineEdit->text();
    if (password.isEmpty() || !m_session)
        return;
    attachRoomList();
    showLoading();
    if (!m_session->unlock(password)) {
        qDebug().noquote() << "MainDialog::clickedLoginButton - login fail";
        hideLoading();
        return;
    }
    ui->unlockButton->setEnabled(false);
}

void MainDialog::startLockMode()
{
    const int minutes = m_settings->autoLock();
    qDebug().noquote().nospace() << "MainDialog::startLockMode " << minutes;
    if (minutes == LocalSettings::kAutoLockOff) {
        m_eventFilter->stopLockMode();
        return;
    }
    m_eventFilter->setLockTime(minutes);
    // The count runs only while the rooms are on screen.
    if (m_session && m_session->state().isLoggedIn() && !m_session->state().isLocked())
        m_eventFilter->startLockMode();
}

void MainDialog::clickedAlarmButton()
{
    if (!m_session || !m_session->mtData())
        return;
    m_alarm = !m_alarm;
    qDebug().noquote().nospace() << "MainDialog::clickedAlarmButton m_alarm:" << m_alarm;
    DBEditor editor;
    if (!m_session->mtData()->setAlarm(editor, m_alarm))
        qWarning().noquote() << "MainDialog::clickedAlarmButton - the alarm was not stored";
    m_alarm = m_session->mtData()->alarm();
    if (!m_alarmWidget)
        m_alarmWidget = new AlarmWidget(this);
    m_alarmWidget->showAlarm(m_alarm);
    updateAlarmButton();
}

void MainDialog::updateAlarmButton()
{
    const QString normal = m_alarm ? QStringLiteral(":/images/alarm_p.png")
                                   : QStringLiteral(":/images/alarm_off_mini_p.png");
    const QString hover = m_alarm ? QStringLiteral(":/images/alarm.png")
                                  : QStringLiteral(":/images/alarm_off_mini.png");
    ui->alarmButton->setStyleSheet(QStringLiteral("QPushButton { border: none; image: url(%1); }"
                                                  "QPushButton:hover { image: url(%2); }")
                                       .arg(normal, hover));
    ui->alarmButton->setProperty("alarmOn", m_alarm);
    // The picture shows the switch's state; a screen reader says it.
    ui->alarmButton->setAccessibleName(m_alarm ? tr("Alarm: on") : tr("Alarm: off"));
}

void MainDialog::updateSettings(int updateType, int updateData)
{
    qDebug().noquote().nospace() << "MainDialog::updateSettings updateType:" << updateType
                                 << " updateData:" << updateData;
    if (updateType == 4) {
        // The user's picture was removed.
        ui->lockImgLabel->setPixmap(mtRoundPicture(
            mtLoadPicture(QLatin1String(kDefaultLockPicture)), ui->lockImgLabel->minimumSize()));
        return;
    }
    if (updateType < 0 || updateType > 3)
        return;
    // The running program follows the change even when the settings file cannot keep it; the
    // user is told that it will not outlive this run.
    const bool stored = m_settings->applyChange(updateType, updateData);
    if (updateType == 0)
        startLockMode();
    else if (updateType == 3)
        autoRunSettings();
    if (!stored) {
        qWarning().noquote() << "MainDialog::updateSettings - not stored:"
                             << m_settings->errorString();
        showNotice(tr("The setting applies now but could not be saved for the next start:\n%1")
                       .arg(m_settings->errorString()));
    }
}

void MainDialog::autoRunSettings()
{
    const bool on = m_settings->autoRun();
    if (platformIsAutoRun(QLatin1String(kAutoRunName)) == on)
        return;
    if (!platformSetAutoRun(QLatin1String(kAutoRunName), on)) {
        qWarning().noquote().nospace()
            << "MainDialog::autoRunSettings"
            << (on ? " failed to link filename:" : " failed to remove filename:") << kAutoRunName;
    }
}
