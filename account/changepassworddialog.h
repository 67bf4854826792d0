#pragma once

#include <QDialog>
#include <QJsonObject>

#include <memory>

class MtSession;
class NetServerManager;
class QLineEdit;
class QPushButton;

// Changes the logged-in user's password: the local checks (PasswordCheck) in their order, then
// the server's change request. Once the server accepted, the session keeps the new password's
// digest (written to the user's database at once), so the lock page and the next password change
// know it; the next login and unlock send the new password. A refusal shows the server's text
// and the dialog stays open.
//
// Opened modally by the profile editor: ChangePasswordDialog dlg(session, this); dlg.exec();
class ChangePasswordDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kReqChangePassword = 9;

    explicit ChangePasswordDialog(MtSession* session, QWidget* parent = nullptr);
    ~ChangePasswordDialog() override;

public slots:
    void on_okButton_clicked();
    void on_exitPushButton_clicked();
    // The form in which the session keeps a password (DBMTData::passwordDigest).
    QString encryptPassword(QString password);
    void onHttpSuccess(int reqCode, QJsonObject response);
    void onHttpFailure(int reqCode, int httpCode, QString error);

private:
    QLineEdit* passwordEdit(const char* objectName);

    MtSession* m_session;
    std::unique_ptr<NetServerManager> m_net;
    QLineEdit* m_oldEdit = nullptr;
    QLineEdit* m_newEdit = nullptr;
    QLineEdit* m_confirmEdit = nullptr;
    QPushButton* m_okButton = nullptr;
    // The confirmation as sent, kept until the answer.
    QString m_sentPassword;
};
