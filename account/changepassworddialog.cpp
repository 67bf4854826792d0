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

ChangePasswordDialog::ChangePasswordDialog(MtSession* session, QWidget* parent)
    : QDialog(parent), m_session(session),
      m_net(std::make_unique<NetServerManager>(session->config()))
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
    connect(m_net.get(), &NetServerManager::onHttpSuccess, this,
            &ChangePasswordDialog::onHttpSuccess);
    connect(m_net.get(), &NetServerManager::onHttpFailure, this,
            &ChangePasswordDialog::onHttpFailure);
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

QString ChangePasswordDialog::encryptPassword(QString password)
{
    return DBMTData::passwordDigest(password);
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
    m_sentPassword = m_confirmEdit->text();
    // One request at a time: a second OK before the answer would change it twice.
    m_okButton->setEnabled(false);
    if (!m_net->reqChangePassword(kReqChangePassword, m_oldEdit->text(), m_newEdit->text(),
                                  m_confirmEdit->text()))
        qWarning().noquote() << "ChangePasswordDialog::on_okButton_clicked - not sent";
}

void ChangePasswordDialog::on_exitPushButton_clicked()
{
    reject();
}

void ChangePasswordDialog::onHttpSuccess(int reqCode, QJsonObject /*response*/)
{
    if (reqCode != kReqChangePassword)
        return;
    qDebug().noquote() << "ChangePasswordDialog::onHttpSuccess - password changed";
    MTData* mtData = m_session->mtData();
    DBEditor editor;
    const bool stored = mtData && mtData->setMyPassword(editor, m_sentPassword);
    m_sentPassword.clear();
    if (!stored) {
        qWarning().noquote() << "ChangePasswordDialog::onHttpSuccess - new password not stored";
        MtMessageDialog::information(
            this, tr("The password was changed, but this computer could not keep it. Log in again "
                     "with the new password."));
    }
    accept();
}

void ChangePasswordDialog::onHttpFailure(int reqCode, int httpCode, QString error)
{
    if (reqCode != kReqChangePassword)
        return;
    qWarning().noquote().nospace()
        << "ChangePasswordDialog::onHttpFailure code:" << httpCode << " error:" << error;
    m_sentPassword.clear();
    m_okButton->setEnabled(true);
    MtMessageDialog::information(this, httpCode == NetServerManager::kErrorNetwork
                                           ? tr("Please check network connection")
                                           : error);
}
