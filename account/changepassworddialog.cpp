#include "account/changepassworddialog.h"

#include "account/dialogframe.h"
#include "account/passwordcheck.h"
#include "net/netservermanager.h"
#include "session/mtsession.h"
#include "store/mtdata.h"
#include "widgets/mtmessagedialog.h"

#include <QDebug>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ChangePasswordRequest::ChangePasswordRequest(MtSession* session)
    : QObject(session), m_session(session),
      m_net(std::make_unique<NetServerManager>(session->config()))
{
    connect(m_net.get(), &NetServerManager::onHttpSuccess, this,
            &ChangePasswordRequest::onHttpSuccess);
    connect(m_net.get(), &NetServerManager::onHttpFailure, this,
            &ChangePasswordRequest::onHttpFailure);
}

ChangePasswordRequest::~ChangePasswordRequest() = default;

bool ChangePasswordRequest::send(const QString& oldPassword, const QString& newPassword,
                                 const QString& confirm)
{
    m_sentPassword = confirm;
    if (m_net->reqChangePassword(kReqChangePassword, oldPassword, newPassword, confirm))
        return true;
    qWarning().noquote() << "ChangePasswordRequest::send - not sent";
    deleteLater();
    return false;
}

void ChangePasswordRequest::onHttpSuccess(int reqCode, const QJsonObject& /*response*/)
{
    if (reqCode != kReqChangePassword)
        return;
    qDebug().noquote() << "ChangePasswordRequest::onHttpSuccess - password changed";
    MTData* mtData = m_session->mtData();
    DBEditor editor;
    const bool kept = mtData && mtData->setMyPassword(editor, m_sentPassword);
    m_sentPassword.clear();
    if (!kept)
        qWarning().noquote() << "ChangePasswordRequest::onHttpSuccess - new password not stored";
    emit changed(kept);
    deleteLater();
}

void ChangePasswordRequest::onHttpFailure(int reqCode, int httpCode, const QString& error)
{
    if (reqCode != kReqChangePassword)
        return;
    qWarning().noquote().nospace()
        << "ChangePasswordRequest::onHttpFailure code:" << httpCode << " error:" << error;
    m_sentPassword.clear();
    emit refused(httpCode, error);
    deleteLater();
}

ChangePasswordDialog::ChangePasswordDialog(MtSession* session, QWidget* parent)
    : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("ChangePasswordDialog"));
    QVBoxLayout* body = DialogFrame::build(this, tr("Change Password"));
    auto* form = new QFormLayout;
    m_oldEdit = passwordEdit("oldPasswordLineEdit");
    m_newEdit = passwordEdit("newPasswordLineEdit");
    m_confirmEdit = passwordEdit("confirmPasswordLineEdit");
    form->addRow(tr("Old Password"), m_oldEdit);
    form->addRow(tr("New Password"), m_newEdit);
    form->addRow(tr("Confirm Password"), m_confirmEdit);
    body->addLayout(form);
    m_okButton = new QPushButton(tr("OK"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setDefault(true);
    body->addWidget(m_okButton);
    QMetaObject::connectSlotsByName(this);
}

ChangePasswordDialog::~ChangePasswordDialog() = default;

QLineEdit* ChangePasswordDialog::passwordEdit(const char* objectName)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QLatin1String(objectName));
    edit->setEchoMode(QLineEdit::Password);
    edit->setTextMargins(5, 0, 5, 0);
    return edit;
}

void ChangePasswordDialog::on_okButton_clicked()
{
    const MTData* mtData = m_session->mtData();
    const QString stored = mtData ? mtData->myPassword() : QString();
    const PasswordCheck::Result result =
        PasswordCheck::check(m_oldEdit->text(), m_newEdit->text(), m_confirmEdit->text(), stored);
    if (result != PasswordCheck::Ok) {
        qDebug().noquote().nospace()
            << "ChangePasswordDialog::on_okButton_clicked - refused:" << int(result);
        if (PasswordCheck::clearsNewFields(result)) {
            m_newEdit->clear();
            m_confirmEdit->clear();
        }
        MtMessageDialog::information(this, PasswordCheck::message(result));
        QLineEdit* focus = nullptr;
        switch (PasswordCheck::focusField(result)) {
        case PasswordCheck::OldField:
            focus = m_oldEdit;
            break;
        case PasswordCheck::NewField:
            focus = m_newEdit;
            break;
        case PasswordCheck::ConfirmField:
            focus = m_confirmEdit;
            break;
        case PasswordCheck::NoField:
            break;
        }
        if (focus)
            focus->setFocus();
        return;
    }
    // One request at a time: a second OK before the answer would change it twice.
    m_okButton->setEnabled(false);
    auto* request = new ChangePasswordRequest(m_session);
    // With the dialog as context: a dialog gone no longer hears the answer, the session does.
    connect(request, &ChangePasswordRequest::changed, this, &ChangePasswordDialog::onChanged);
    connect(request, &ChangePasswordRequest::refused, this, &ChangePasswordDialog::onRefused);
    if (!request->send(m_oldEdit->text(), m_newEdit->text(), m_confirmEdit->text()))
        onRefused(NetServerManager::kErrorNetwork, QString());
}

void ChangePasswordDialog::on_exitPushButton_clicked()
{
    reject();
}

void ChangePasswordDialog::onChanged(bool kept)
{
    if (!kept) {
        MtMessageDialog::information(
            this, tr("The password was changed, but this computer could not keep it. Log in again "
                     "with the new password."));
    }
    accept();
}

void ChangePasswordDialog::onRefused(int httpCode, const QString& error)
{
    m_okButton->setEnabled(true);
    MtMessageDialog::information(this, httpCode == NetServerManager::kErrorNetwork
                                           ? tr("Please check network connection")
                                           : error);
}
