// Login, unlock, log off and account removal as the user sees them: the window forwards the
// request to the session and shows its answer.
#include "main/maindialog.h"
#include "ui_maindialog.h"

#include "account/upgradedialog.h"
#include "main/chatroomlist.h"
#include "main/chatwindows.h"
#include "main/globaleventfilter.h"
#include "notify/toaststack.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "session/sessionrequest.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"
#include "widgets/mtmessagedialog.h"

#include <QApplication>
#include <QDebug>

void MainDialog::on_passwordLineEdit_returnPressed()
{
    clickedLoginButton();
}

void MainDialog::clickedLoginButton()
{
    qDebug().noquote().nospace() << "MainDialog::clickedLoginButton autoLoginCheckBox:"
                                 << ui->autoLoginCheckBox->isChecked();
    const QString account = ui->idLineEdit->text().trimmed();
    const QString password = ui->passwordLineEdit->text();
    if (account.isEmpty()) {
        showNotice(tr("Please enter your ID"));
        return;
    }
    if (password.isEmpty()) {
        showNotice(tr("Please enter your Password"));
        return;
    }
    // The account for automatic login and the device id are written by the session once the
    // server has accepted the account. The request goes out first; the loading page is shown
    // while it is on its way.
    if (!session()->login(account, password, ui->autoLoginCheckBox->isChecked(),
                          m_settings->deviceId())) {
        qDebug().noquote() << "MainDialog::clickedLoginButton - login fail";
        return;
    }
    showLoading();
    setLoginControlsEnabled(false);
    qDebug().noquote() << "MainDialog::clickedLoginButton END";
}

void MainDialog::setLoginControlsEnabled(bool enabled)
{
    ui->loginButton->setEnabled(enabled);
    ui->idLineEdit->setEnabled(enabled);
    ui->passwordLineEdit->setEnabled(enabled);
    ui->autoLoginCheckBox->setEnabled(enabled);
}

void MainDialog::setLockControlsEnabled(bool enabled)
{
    ui->lockPasswordLineEdit->setEnabled(enabled);
    ui->unlockButton->setEnabled(enabled && !ui->lockPasswordLineEdit->text().isEmpty());
}

void MainDialog::onLoginSucceeded()
{
    MTData* data = m_session->mtData();
    m_alarm = data ? data->alarm() : true;
    attachRoomList();
    updateAlarmButton();
    updateTrayContextMenu();
}

void MainDialog::onLoginFailed(int errCode, const QString& text)
{
    qDebug().noquote().nospace() << "MainDialog::onLoginFailed errCode:" << errCode;
    hideLoading();
    setLoginControlsEnabled(true);
    // A login that failed after its store was opened (its directory or room list did not come)
    // has closed that store again: the list lets go of it. Its rooms may have been shown
    // before they failed to be stored: the login page comes back, without the idle lock.
    ui->chatRoomListWidget->clearChatRooms();
    ui->chatRoomListWidget->setSession(nullptr, nullptr, 0);
    m_eventFilter->stopLockMode();
    showPage(LoginPage);
    if (errCode == MtSession::kErrorDatabase) {
        ui->idLineEdit->clear();
        ui->passwordLineEdit->clear();
    }
    updateTrayContextMenu();
    showNotice(text);
}

void MainDialog::onLoginTakenOver()
{
    hideLoading();
    const int answer = m_notices.ask([this] {
        return MtMessageDialog::question(this, tr("You are already logged in. Continue to login?"));
    });
    if (answer == QDialog::Accepted) {
        showLoading();
        if (m_session->forceLogin())
            return;
        hideLoading();
    }
    m_session->declineTakeOver();
}

void MainDialog::onUnlocked()
{
    qDebug().noquote().nospace() << "MainDialog::clickedUnlockButton ....1 m_processType:"
                                 << m_session->state().processType();
    ui->lockPasswordLineEdit->setEnabled(false);
    ui->unlockButton->setEnabled(false);
    MTData* data = m_session->mtData();
    m_alarm = data ? data->alarm() : m_alarm;
    attachRoomList();
    updateAlarmButton();
    updateTrayContextMenu();
}

void MainDialog::onUnlockFailed(int errCode, const QString& text)
{
    qDebug().noquote().nospace() << "MainDialog::onUnlockFailed errCode:" << errCode;
    hideLoading();
    // The lock page stays with what was typed; the session goes on behind it.
    setLockControlsEnabled(true);
    setLoginControlsEnabled(true);
    updateTrayContextMenu();
    showNotice(text);
    // The unlock button was disabled while the request ran and passed the focus on to "Logout":
    // a password typed again would go nowhere, and Return would log the user off.
    ui->lockPasswordLineEdit->setFocus();
    ui->lockPasswordLineEdit->selectAll();
}

void MainDialog::onVersionRefused(const QString& link)
{
    hideLoading();
    const QString sentence = tr("The latest version is updated. Use the latest version.");
    setLoginControlsEnabled(true);
    setLockControlsEnabled(true);
    updateTrayContextMenu();
    if (link.isEmpty()) {
        showNotice(sentence);
        return;
    }
    const int answer = m_notices.ask([&] { return MtMessageDialog::question(this, sentence); });
    if (answer != QDialog::Accepted)
        return;
    qDebug().noquote().nospace()
        << "MainDialog::onHttpFailure - [ERROR_VERSION_APP_NOT_MATCH] update link=" << link;
    doUpgrade(link);
}

void MainDialog::doUpgrade(const QString& updateFileLinkUrl)
{
    qDebug().noquote().nospace() << "MainDialog::doUpgrade updateFileLinkUrl:" << updateFileLinkUrl;
    if (UpgradeDialog::fileNameFor(updateFileLinkUrl).isEmpty()) {
        showNotice(tr("No filename on update url"));
        return;
    }
    UpgradeDialog dialog(updateFileLinkUrl, m_config.caFile(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    qDebug().noquote().nospace() << "MainDialog::doUpgrade filePath:" << dialog.downloadFilePath();
    // Quit only when the installer runs: a program that vanishes after a failed start would
    // leave the user with neither.
    if (UpgradeDialog::startInstaller(this, dialog.downloadFilePath()))
        QApplication::quit();
}

void MainDialog::onRoomsShown(const QList<DBChatRoom>& rooms)
{
    fillRoomList(rooms);
    showRoomListPage(true);
}

void MainDialog::onRoomsReady(bool show, bool listShown)
{
    if (!listShown) {
        QList<DBChatRoom> rooms;
        if (DBManager* db = m_session->db())
            db->chatRoomList(rooms);
        fillRoomList(rooms);
    }
    showRoomListPage(show);
}

void MainDialog::fillRoomList(const QList<DBChatRoom>& rooms)
{
    ChatRoomList* list = ui->chatRoomListWidget;
    attachRoomList();
    list->setUpdatesEnabled(false);
    list->setChatRooms(rooms);
    list->setUpdatesEnabled(true);
}

void MainDialog::showRoomListPage(bool show)
{
    // The page changes only for a session that is up and unlocked: an answer that arrives
    // while the lock page is up never uncovers the rooms.
    if (show && m_session->state().isLoggedIn() && !m_session->state().isLocked()) {
        showPage(RoomListPage);
        startLockMode();
    }
    if (MTData* data = m_session->mtData())
        setLockPicture(data->imageUrl());
    hideLoading();
    updateTrayContextMenu();
}

void MainDialog::onRequestFailed(int reqCode, int errCode, const QString& text)
{
    qDebug().noquote().nospace() << "MainDialog::onHttpFailure reqCode:" << reqCode
                                 << " errCode:" << errCode;
    hideLoading();
    if (reqCode == SessionRequest::Rooms || errCode == SessionRequest::ErrorNetwork) {
        setLoginControlsEnabled(true);
        setLockControlsEnabled(true);
    }
    showNotice(text);
}

void MainDialog::clickedLogout()
{
    qDebug().noquote() << "MainDialog::clickedLogout";
    session()->logOff();
}

void MainDialog::clickedLogoutButton()
{
    qDebug().noquote() << "MainDialog::clickedLogoutButton";
    session()->logOff();
}

void MainDialog::profileLogoutOk()
{
    qDebug().noquote() << "MainDialog::profileLogoutOk";
    session()->removeAccount();
}

void MainDialog::logoutUiProcess()
{
    qDebug().noquote() << "MainDialog::logoutUiProcess - logout";
    setLoginControlsEnabled(true);
    closeAllChatDialog();
    if (m_toasts)
        m_toasts->closeAll();
    m_eventFilter->stopLockMode();
    ChatRoomList* list = ui->chatRoomListWidget;
    list->clearChatRooms();
    list->setSession(nullptr, nullptr, 0);
    ui->searchLineEdit->setText(QString());
    showPage(LoginPage);
    ui->idLineEdit->clear();
    ui->passwordLineEdit->clear();
    ui->lockPasswordLineEdit->clear();
    ui->idLineEdit->setFocus();
    hideLoading();
    updateTrayContextMenu();
    qDebug().noquote() << "MainDialog::logoutUiProcess - logout END";
}

void MainDialog::onAccountRemoved(bool ok, const QString& error)
{
    if (!ok)
        showNotice(tr("The local data of the account could not be deleted: %1").arg(error));
}

void MainDialog::onSessionEnded(int errCode, const QString& text)
{
    qDebug().noquote().nospace() << "MainDialog::onSessionEnded errCode:" << errCode;
    hideLoading();
    showNotice(text);
}

void MainDialog::onChatWindowSessionFailure(int errCode, const QString& text)
{
    if (errCode == SessionRequest::ErrorVersion) {
        onVersionRefused(text);
        return;
    }
    // The server ended the session: the account goes as after the session's own requests.
    session()->removeAccount();
    onSessionEnded(errCode, text);
}
