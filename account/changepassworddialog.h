#pragma once

#include <QDialog>
#include <QJsonObject>
#include <QPointer>

#include <memory>

class MtSession;
class NetServerManager;
class QLineEdit;
class QPushButton;

// One password change on the server, from the request to its answer. It belongs to the session
// (its parent), not to the dialog that asked for it: the server takes a new password whether
// or not the dialog is still open, so the session's digest must follow the answer even when the
// dialog was closed while the request ran. It deletes itself once the answer is handled.
class ChangePasswordRequest : public QObject
{
    Q_OBJECT
public:
    static constexpr int kReqChangePassword = 9;

    explicit ChangePasswordRequest(MtSession* session);
    ~ChangePasswordRequest() override;

    // Sends the three texts as typed; false when nothing could be sent (the object then goes).
    bool send(const QString& oldPassword, const QString& newPassword, const QString& confirm);

signals:
    // The server took the new password; `kept` is false when its digest could not be stored.
    void changed(bool kept);
    // The server refused it, or no answer came.
    void refused(int httpCode, const QString& error);

private:
    void onHttpSuccess(int reqCode, const QJsonObject& response);
    void onHttpFailure(int reqCode, int httpCode, const QString& error);

    MtSession* m_session;
    std::unique_ptr<NetServerManager> m_net;
    // The confirmation as sent, kept until the answer.
    QString m_sentPassword;
};

// Changes the logged-in user's password: the local checks (PasswordCheck) in their order, then
// the server's change request (ChangePasswordRequest). Once the server accepted, the session
// keeps the new password's digest (written to the user's database at once), so the lock page and
// the next password change know it; the next login and unlock send the new password. A refusal
// shows the server's text and the dialog stays open. Closed while the request runs, the dialog
// goes at once and the answer still reaches the session.
//
// Opened modally by the profile editor: ChangePasswordDialog dlg(session, this); dlg.exec();
class ChangePasswordDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ChangePasswordDialog(MtSession* session, QWidget* parent = nullptr);
    ~ChangePasswordDialog() override;

public slots:
    void on_okButton_clicked();
    void on_exitPushButton_clicked();

private:
    QLineEdit* passwordEdit(const char* objectName);
    void onChanged(bool kept);
    void onRefused(int httpCode, const QString& error);

    MtSession* m_session;
    QLineEdit* m_oldEdit = nullptr;
    QLineEdit* m_newEdit = nullptr;
    QLineEdit* m_confirmEdit = nullptr;
    QPushButton* m_okButton = nullptr;
};
