#include "account/profileeditdialog.h"

#include "account/changepassworddialog.h"
#include "account/dialogframe.h"
#include "account/profileimageeditdialog.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "session/mtsession.h"
#include "store/dbmanager.h"
#include "store/dbsql.h"
#include "store/dbuser.h"
#include "store/mtdata.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtpicture.h"

#include <QAction>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

const char* const ProfileEditDialog::kImageFilter =
    "*.jpg *.jpeg *.png *.gif *.tif *.tiff *.bmp *.img";

namespace {
const char* const kDefaultLargePicture = ":/images/profile_x2.png";

// The own directory row as the profile update's object, with what the answer carries laid over
// it: a column the answer leaves out keeps its value.
QJsonObject mergedProfile(const DBUser& own, const QJsonObject& answer)
{
    QJsonObject profile{{QStringLiteral("userId"), QString::number(own.userId())},
                        {QStringLiteral("userName"), own.userName()},
                        {QStringLiteral("tel"), own.cellPhone()},
                        {QStringLiteral("email"), own.email()},
                        {QStringLiteral("deptName"), own.deptName()},
                        {QStringLiteral("thumbUrl"), own.thumbUrl()},
                        {QStringLiteral("imageUrl"), own.imageUrl()},
                        {QStringLiteral("telOpenYn"), own.openCellPhone() ? 1 : 0},
                        {QStringLiteral("chattingAllowYn"), own.chattAllow() ? 1 : 0},
                        {QStringLiteral("appInstallYn"), own.appInstall() ? 1 : 0}};
    for (const char* key : {"userName", "tel", "email", "deptName", "thumbUrl", "imageUrl"}) {
        const QString name = QLatin1String(key);
        if (answer.contains(name))
            profile.insert(name, DBSql::jsonText(answer, name));
    }
    for (const char* key : {"telOpenYn", "chattingAllowYn", "appInstallYn"}) {
        const QString name = QLatin1String(key);
        if (!answer.contains(name))
            continue;
        const QString flag = DBSql::jsonText(answer, name).trimmed();
        // Some answers write the flags as Y/N, others as 1/0.
        const bool on =
            flag.compare(QLatin1String("Y"), Qt::CaseInsensitive) == 0 || flag.toLongLong() != 0;
        profile.insert(name, on ? 1 : 0);
    }
    return profile;
}
} // namespace

ProfileEditDialog::ProfileEditDialog(MtSession* session, QWidget* parent)
    : QDialog(parent), m_session(session),
      m_net(std::make_unique<NetServerManager>(session->config()))
{
    setObjectName(QStringLiteral("ProfileEditDialog"));
    connect(m_net.get(), &NetServerManager::onHttpSuccess, this, &ProfileEditDialog::onHttpSuccess);
    connect(m_net.get(), &NetServerManager::onHttpFailure, this, &ProfileEditDialog::onHttpFailure);
    connect(m_net.get(), &NetServerManager::onUploadSuccess, this,
            &ProfileEditDialog::onUploadSuccess);
    connect(m_net.get(), &NetServerManager::onUploadFailure, this,
            &ProfileEditDialog::onUploadFailure);
    connect(m_net.get(), &NetServerManager::onImageSuccess, this,
            &ProfileEditDialog::onImageSuccess);
    connect(m_net.get(), &NetServerManager::onImageFailure, this,
            &ProfileEditDialog::onImageFailure);
    initUi();
    initAction();
}

ProfileEditDialog::~ProfileEditDialog() = default;

void ProfileEditDialog::initUi()
{
    QVBoxLayout* body = DialogFrame::build(this, tr("Profile"));
    m_pictureButton = new QPushButton(this);
    m_pictureButton->setObjectName(QStringLiteral("myPictureButton"));
    m_pictureButton->setAccessibleName(tr("My picture"));
    m_pictureButton->setFlat(true);
    m_pictureButton->setAutoDefault(false);
    m_pictureButton->setFixedSize(kPictureSide, kPictureSide);
    m_pictureButton->setIconSize(QSize(kPictureSide, kPictureSide));
    body->addWidget(m_pictureButton, 0, Qt::AlignHCenter);
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("nameLineEdit"));
    m_nameEdit->setAccessibleName(tr("Name"));
    body->addWidget(m_nameEdit);
    auto* account = new QHBoxLayout;
    auto* password = new QPushButton(tr("Change Password"), this);
    password->setObjectName(QStringLiteral("changePasswordButton"));
    password->setAutoDefault(false);
    account->addWidget(password);
    auto* logout = new QPushButton(tr("Logout"), this);
    logout->setObjectName(QStringLiteral("logoutButton"));
    logout->setAutoDefault(false);
    account->addWidget(logout);
    body->addLayout(account);
    auto* buttons = new QHBoxLayout;
    m_okButton = new QPushButton(tr("OK"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setDefault(true);
    buttons->addWidget(m_okButton);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    buttons->addWidget(cancel);
    body->addLayout(buttons);
    QMetaObject::connectSlotsByName(this);

    const MTData* mtData = m_session->mtData();
    m_nameEdit->setText(mtData ? mtData->userName() : QString());
    const QString thumbUrl = mtData ? mtData->thumbUrl() : QString();
    const QString cached =
        thumbUrl.isEmpty() ? QString() : m_net->requestImage(thumbUrl, m_pictureButton);
    const QPixmap picture(cached);
    if (picture.isNull())
        showDefaultPicture();
    else
        showPicture(picture);
}

void ProfileEditDialog::initAction()
{
    m_modifyAction = new QAction(tr("Modify"), this);
    m_modifyAction->setObjectName(QStringLiteral("modifyAction"));
    connect(m_modifyAction, &QAction::triggered, this, &ProfileEditDialog::modifyPicture);
    m_removeAction = new QAction(tr("Remove"), this);
    m_removeAction->setObjectName(QStringLiteral("removeAction"));
    connect(m_removeAction, &QAction::triggered, this, &ProfileEditDialog::removePicture);
}

void ProfileEditDialog::showPicture(const QPixmap& picture)
{
    m_shownPicture = picture;
    m_pictureButton->setIcon(
        QIcon(mtRoundPicture(picture, QSize(kPictureSide, kPictureSide), devicePixelRatioF())));
}

void ProfileEditDialog::showDefaultPicture()
{
    showPicture(QPixmap(QString::fromLatin1(kDefaultLargePicture)));
}

void ProfileEditDialog::updateOkButton()
{
    m_okButton->setEnabled(!isUploading() && !m_updateSent);
}

void ProfileEditDialog::on_changePasswordButton_clicked()
{
    ChangePasswordDialog dialog(m_session, this);
    dialog.exec();
}

void ProfileEditDialog::on_okButton_clicked()
{
    // The picture shown must reach the server before the dialog may close.
    if (isUploading() || m_updateSent)
        return;
    const QString name = m_nameEdit->text().trimmed();
    const MTData* mtData = m_session->mtData();
    if (m_fileKey.isEmpty() && mtData && name == mtData->userName()) {
        accept();
        return;
    }
    if (name.isEmpty()) {
        qDebug().noquote() << "ProfileEditDialog::on_okButton_clicked - empty name, not sent";
        m_nameEdit->setFocus();
        return;
    }
    sendUpdate(name, m_fileKey);
}

void ProfileEditDialog::sendUpdate(const QString& userName, const QString& fileKey)
{
    const MTData* mtData = m_session->mtData();
    DBUser own;
    const bool found =
        mtData && m_session->db() && m_session->db()->findUser(mtData->userId(), own);
    if (!found)
        qWarning().noquote() << "ProfileEditDialog::sendUpdate - own directory row not found";
    // The update carries the flag and the telephone as well: send what the user has now.
    const bool chattAllow = found ? own.chattAllow() : true;
    m_net->setProfileTel(own.cellPhone());
    const int reqCode = fileKey == QLatin1String("0") ? kReqRemovePicture : kReqUpdateProfile;
    m_updateSent = m_net->reqUpdateMyProfile(reqCode, userName, chattAllow, fileKey);
    updateOkButton();
}

void ProfileEditDialog::on_cancelButton_clicked()
{
    reject();
}

void ProfileEditDialog::on_myPictureButton_clicked()
{
    showMenu();
}

void ProfileEditDialog::on_exitPushButton_clicked()
{
    reject();
}

bool ProfileEditDialog::storeProfile(const QJsonObject& response)
{
    MTData* mtData = m_session->mtData();
    DBManager* db = m_session->db();
    if (!mtData || !db)
        return false;
    DBUser own;
    if (!db->findUser(mtData->userId(), own)) {
        own.setUserId(mtData->userId());
        own.setUserName(mtData->userName());
        own.setThumbUrl(mtData->thumbUrl());
        own.setImageUrl(mtData->imageUrl());
        own.setChattAllow(true);
        own.setAppInstall(true);
    }
    const QJsonObject profile = mergedProfile(own, response);
    bool ok = db->updateMyProfile(profile);
    DBEditor editor;
    ok = mtData->setUserName(editor, profile.value(QStringLiteral("userName")).toString()) && ok;
    ok = mtData->setThumbUrl(editor, profile.value(QStringLiteral("thumbUrl")).toString()) && ok;
    ok = mtData->setImageUrl(editor, profile.value(QStringLiteral("imageUrl")).toString()) && ok;
    if (!ok)
        qWarning().noquote() << "ProfileEditDialog::storeProfile - not every value was stored";
    return ok;
}

void ProfileEditDialog::onHttpSuccess(int reqCode, QJsonObject response)
{
    if (reqCode != kReqUpdateProfile && reqCode != kReqRemovePicture)
        return;
    m_updateSent = false;
    updateOkButton();
    storeProfile(response);
    const MTData* mtData = m_session->mtData();
    const QString userName = mtData ? mtData->userName() : QString();
    const QString thumbUrl = mtData ? mtData->thumbUrl() : QString();
    qDebug().noquote().nospace() << "ProfileEditDialog::onHttpSuccess reqCode:" << reqCode
                                 << " thumbUrl:" << thumbUrl;
    emit updateMyProfileImage(userName, thumbUrl);
    if (reqCode == kReqRemovePicture) {
        m_fileKey.clear();
        showDefaultPicture();
        return;
    }
    accept();
}

void ProfileEditDialog::onHttpFailure(int reqCode, int httpCode, QString error)
{
    if (reqCode != kReqUpdateProfile && reqCode != kReqRemovePicture)
        return;
    qWarning().noquote().nospace()
        << "ProfileEditDialog::onHttpFailure code:" << httpCode << " error:" << error;
    m_updateSent = false;
    updateOkButton();
    MtMessageDialog::information(this, httpCode == NetServerManager::kErrorNetwork
                                           ? tr("Please check network connection")
                                           : error);
}

void ProfileEditDialog::onUploadSuccess(QString reqId, QJsonObject response)
{
    if (reqId != m_uploadId)
        return;
    m_uploadId.clear();
    m_fileKey = DBSql::jsonText(response, QStringLiteral("fileKey"));
    qDebug().noquote().nospace() << "ProfileEditDialog::onUploadSuccess fileKey:" << m_fileKey;
    updateOkButton();
    if (m_fileKey.isEmpty())
        onUploadFailure(reqId, NetServerManager::kErrorUnreadable,
                        tr("The server did not name the uploaded picture."));
}

void ProfileEditDialog::onUploadFailure(QString reqId, int errCode, QString error)
{
    if (reqId != m_uploadId && !m_uploadId.isEmpty())
        return;
    qWarning().noquote().nospace() << "ProfileEditDialog::onUploadFailure reqId:" << reqId
                                   << " code:" << errCode << " error:" << error;
    m_uploadId.clear();
    m_fileKey.clear();
    showPicture(m_savedPicture);
    updateOkButton();
    MtMessageDialog::information(this, errCode == NetServerManager::kErrorNetwork
                                           ? tr("Please check network connection")
                                           : error);
}

void ProfileEditDialog::onImageSuccess(QString /*urlFilePath*/, QString filePath, QWidget* widget)
{
    // A picture chosen meanwhile stays.
    const QPixmap picture(filePath);
    if (widget == m_pictureButton && m_fileKey.isEmpty() && !isUploading() && !picture.isNull())
        showPicture(picture);
}

void ProfileEditDialog::onImageFailure(QString urlFilePath, QWidget* widget)
{
    if (widget == m_pictureButton)
        qWarning().noquote().nospace()
            << "ProfileEditDialog::onImageFailure urlFilePath:" << urlFilePath;
}

void ProfileEditDialog::on_logoutButton_clicked()
{
    emit logout(this);
}

void ProfileEditDialog::showMenu()
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("pictureMenu"));
    menu.setStyleSheet(QStringLiteral(
        "QMenu::item { height: 30px; min-width: 50px; qproperty-alignment: AlignCenter; }"));
    menu.addAction(m_modifyAction);
    menu.addAction(m_removeAction);
    menu.exec(m_pictureButton->mapToGlobal(m_pictureButton->rect().center()));
}

void ProfileEditDialog::modifyPicture()
{
    const QString filePath = QFileDialog::getOpenFileName(
        this, tr("Image File"), QString(), tr("Image File (%1)").arg(QLatin1String(kImageFilter)));
    if (filePath.isEmpty())
        return;
    usePictureFile(filePath);
}

bool ProfileEditDialog::usePictureFile(const QString& filePath)
{
    if (QImageReader(filePath).read().isNull()) {
        failToLoadImage();
        return false;
    }
    ProfileImageEditDialog cutter(filePath, this);
    if (cutter.exec() != QDialog::Accepted)
        return false;
    const QPixmap square = cutter.selectedPicture();
    const QString folder = FileManager::cacheFolder();
    QDir().mkpath(folder);
    const QString savePath = folder + QStringLiteral("/profile.png");
    if (square.isNull() || !square.save(savePath, "PNG")) {
        qWarning().noquote().nospace()
            << "ProfileEditDialog::usePictureFile - cannot save " << savePath;
        MtMessageDialog::information(this, tr("The picture could not be saved."));
        return false;
    }
    if (!isUploading())
        m_savedPicture = m_shownPicture;
    showPicture(square);
    m_fileKey.clear();
    // A second picture chosen within the same second gets an id of its own, so that the first
    // one's answer is never taken for it.
    const QString id = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhms"));
    m_uploadId = id == m_lastUploadId.section(QLatin1Char('_'), 0, 0)
                     ? id + QLatin1Char('_') + QString::number(++m_sameSecondUploads)
                     : id;
    m_lastUploadId = m_uploadId;
    qDebug().noquote().nospace() << "ProfileEditDialog::usePictureFile upload reqId:" << m_uploadId;
    updateOkButton();
    m_net->uploadProfileImage(m_uploadId, savePath, QString(), QSize(kPictureSide, kPictureSide));
    return true;
}

void ProfileEditDialog::removePicture()
{
    if (MtMessageDialog::question(this, tr("Do you want to remove the profile picture?")) !=
        QDialog::Accepted)
        return;
    const MTData* mtData = m_session->mtData();
    sendUpdate(mtData ? mtData->userName() : m_nameEdit->text().trimmed(), QStringLiteral("0"));
}

void ProfileEditDialog::failToLoadImage()
{
    MtMessageDialog::information(this, tr("This image is a corrupted image."));
}
