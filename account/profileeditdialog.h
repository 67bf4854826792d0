#pragma once

#include <QDialog>
#include <QJsonObject>
#include <QPixmap>

#include <memory>

class MtSession;
class NetServerManager;
class QAction;
class QLineEdit;
class QPushButton;

// The user's own name and picture. A new picture is chosen from a file, cut square in
// ProfileImageEditDialog, saved as "profile.png" in the cache folder and uploaded at once; OK
// then sends the profile update with the name and the uploaded picture's key. OK stays disabled
// while an upload runs; a failed upload shows the server's text and enables it again. The update
// keeps the user's own "accept chats" flag, and the answer is merged into the own directory row
// (columns it does not carry keep their values) and into the session before
// updateMyProfileImage() is emitted. "Remove" clears the picture at once.
//
// Opened modally by the settings dialog, which connects both signals.
class ProfileEditDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kReqUpdateProfile = 16;
    // The same request removing the picture: the editor stays open.
    static constexpr int kReqRemovePicture = 0;
    static constexpr int kPictureSide = 128;
    // The file filter of "Image File".
    static const char* const kImageFilter;

    explicit ProfileEditDialog(MtSession* session, QWidget* parent = nullptr);
    ~ProfileEditDialog() override;

    // Steps after a file was chosen: load it, cut it (ProfileImageEditDialog, modal), save and
    // upload the square. False when the file is no picture (the user was told) or the cut was
    // cancelled.
    bool usePictureFile(const QString& filePath);
    bool isUploading() const { return !m_uploadId.isEmpty(); }
    // The key of the uploaded picture; empty when none was uploaded.
    QString fileKey() const { return m_fileKey; }

signals:
    void updateMyProfileImage(QString userName, QString thumbUrl);
    void logout(ProfileEditDialog* dlg);

public slots:
    void initUi();
    void initAction();
    void on_changePasswordButton_clicked();
    void on_okButton_clicked();
    void on_cancelButton_clicked();
    void on_myPictureButton_clicked();
    void on_exitPushButton_clicked();
    void onHttpSuccess(int reqCode, QJsonObject response);
    void onHttpFailure(int reqCode, int httpCode, QString error);
    void onUploadSuccess(QString reqId, QJsonObject response);
    void onUploadFailure(QString reqId, int errCode, QString error);
    void onImageSuccess(QString urlFilePath, QString filePath, QWidget* widget);
    void onImageFailure(QString urlFilePath, QWidget* widget);
    void on_logoutButton_clicked();
    void showMenu();
    void modifyPicture();
    void removePicture();
    void failToLoadImage();

private:
    void showPicture(const QPixmap& picture);
    void showDefaultPicture();
    void sendUpdate(const QString& userName, const QString& fileKey);
    void updateOkButton();
    bool storeProfile(const QJsonObject& response);

    MtSession* m_session;
    std::unique_ptr<NetServerManager> m_net;
    QPushButton* m_pictureButton = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QPushButton* m_okButton = nullptr;
    QAction* m_modifyAction = nullptr;
    QAction* m_removeAction = nullptr;
    // What the button showed before a new picture: shown again when its upload fails.
    QPixmap m_savedPicture;
    QPixmap m_shownPicture;
    QString m_fileKey;
    QString m_uploadId;
    QString m_lastUploadId;
    int m_sameSecondUploads = 0;
    bool m_updateSent = false;
};
