#pragma once

#include <QDialog>
#include <QJsonObject>
#include <QPointer>

#include <functional>
#include <memory>

class LocalSettings;
class MtSession;
class NetServerManager;
class ProfileEditDialog;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

// The user's own picture and name, the way into the profile editor, and the four user settings
// (start with the system, idle lock, toast display time, alarm type). It shows the values of the
// settings file and reports each change at once through settingsChanged(); the main window
// stores and applies it. Five clicks on the picture, each within 3 seconds of the one before,
// switch the file log.
//
// The main window runs it modally for the logged-in session:
//   SettingsDialog dlg(m_session, *m_settings, this);
//   connect(&dlg, &SettingsDialog::settingsChanged, this, &MainDialog::updateSettings);
//   connect(&dlg, &SettingsDialog::logoutCompleted, this, &MainDialog::profileLogoutOk);
//   connect(&dlg, &SettingsDialog::myProfileChanged, ...); // own name and picture elsewhere
//   dlg.exec();
// A removed picture also comes as settingsChanged(UpdatePictureRemoved, 0), once per removal.
// A logout asked for in the profile editor is sent to the server by this dialog; once the answer
// names the logged-in user it closes and emits logoutCompleted(): the main window then removes
// the account from this computer (MtSession::removeAccount, which also resets the settings).
class SettingsDialog : public QDialog
{
    Q_OBJECT
public:
    // Request code of the logout request.
    static constexpr int kReqLogout = 2;
    // Clicks on the picture that switch the file log, and the longest pause between two.
    static constexpr int kLoggingClicks = 5;
    static constexpr int kClickPauseMs = 3000;

    // `session` must be logged in and outlive the dialog; `settings` gives the shown values.
    SettingsDialog(MtSession* session, const LocalSettings& settings, QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // The file log lives in the application shell, above the windows: the entry point hands
    // its switch over here. It toggles the log and returns whether file logging is now on.
    using LoggingSwitch = std::function<bool()>;
    static void setLoggingSwitch(LoggingSwitch toggle);

    // The longest pause between two clicks of the logging gesture (tests shorten it).
    void setClickPause(int msec) { m_clickPauseMs = msec; }

signals:
    // SettingsTables::UpdateType and its value; MainDialog::updateSettings takes it.
    void settingsChanged(int updateType, int updateData);
    // The server confirmed the logout of this user: remove the account (MainDialog's
    // profileLogoutOk).
    void logoutCompleted();
    // The own name or picture changed in the profile editor (thumbUrl empty: removed).
    void myProfileChanged(const QString& userName, const QString& thumbUrl);

public slots:
    void initUi();
    void logoutOk();
    void autoLock(int minutes);
    void on_exitPushButton_clicked();
    void autoLockChanged(int index);
    void alarmTypeChanged(int index);
    void alarmDisplayTimeChanged(int index);
    void on_autoLockCheckBox_clicked(bool checked);
    void on_autorunCheckBox_clicked(bool checked);
    void on_myProfileEditButton_clicked();
    void on_logoutButton_clicked();
    void onHttpSuccess(int reqCode, QJsonObject response);
    void onHttpFailure(int reqCode, int httpCode, QString error);
    void onImageSuccess(QString urlFilePath, QString filePath, QWidget* widget);
    void onImageFailure(QString urlFilePath, QWidget* widget);
    void updateMyProfile(QString userName, QString thumbUrl);
    void profileLogout(ProfileEditDialog* dlg);
    void clickedMyPictureButton(bool checked);
    void processMyPictureButtonClickCount();

private:
    void loadSettings(const LocalSettings& settings);
    void showPicture(const QString& filePath);
    void sendLogout();

    MtSession* m_session;
    std::unique_ptr<NetServerManager> m_net;
    QPushButton* m_pictureButton = nullptr;
    QLabel* m_nameLabel = nullptr;
    QCheckBox* m_autorunCheckBox = nullptr;
    QCheckBox* m_autoLockCheckBox = nullptr;
    QComboBox* m_autoLockComboBox = nullptr;
    QComboBox* m_displayTimeComboBox = nullptr;
    QComboBox* m_alarmTypeComboBox = nullptr;
    QLabel* m_versionLabel = nullptr;
    QPushButton* m_logoutButton = nullptr;
    QPointer<ProfileEditDialog> m_profileDialog;
    QString m_thumbUrl;
    int m_clickCount = 0;
    int m_clickPauseMs = kClickPauseMs;
    QTimer* m_clickTimer = nullptr;
    bool m_logoutSent = false;
};
