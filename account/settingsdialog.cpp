#include "account/settingsdialog.h"

#include "account/dialogframe.h"
#include "account/profileeditdialog.h"
#include "account/settingstables.h"
#include "net/netservermanager.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "store/dbsql.h"
#include "store/mtdata.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtpicture.h"
#include "widgets/mttoast.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kPictureSide = 48;
const char* const kDefaultPicture = ":/ui/images/profile.png";

SettingsDialog::LoggingSwitch& loggingSwitch()
{
    static SettingsDialog::LoggingSwitch toggle;
    return toggle;
}

QLabel* sectionLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The question before a logout: it removes the account and its conversations from this computer.
QString logoutQuestion()
{
    // Two lines, each translated on its own: the question as it always read, then what it does.
    return QStringLiteral("%1\n%2").arg(
        SettingsDialog::tr("Are you sure logout?"),
        SettingsDialog::tr("The conversations stored on this computer will be deleted."));
}
} // namespace

void SettingsDialog::setLoggingSwitch(LoggingSwitch toggle)
{
    loggingSwitch() = std::move(toggle);
}

SettingsDialog::SettingsDialog(MtSession* session, const LocalSettings& settings, QWidget* parent)
    : QDialog(parent), m_session(session),
      m_net(std::make_unique<NetServerManager>(session->config()))
{
    setObjectName(QStringLiteral("SettingsDialog"));
    connect(m_net.get(), &NetServerManager::onHttpSuccess, this, &SettingsDialog::onHttpSuccess);
    connect(m_net.get(), &NetServerManager::onHttpFailure, this, &SettingsDialog::onHttpFailure);
    connect(m_net.get(), &NetServerManager::onImageSuccess, this, &SettingsDialog::onImageSuccess);
    connect(m_net.get(), &NetServerManager::onImageFailure, this, &SettingsDialog::onImageFailure);
    initUi();
    loadSettings(settings);
    connect(m_autoLockComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::autoLockChanged);
    connect(m_alarmTypeComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::alarmTypeChanged);
    connect(m_displayTimeComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::alarmDisplayTimeChanged);
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::initUi()
{
    QVBoxLayout* body = DialogFrame::build(this, tr("Settings"));

    body->addWidget(sectionLabel(tr("My Profile"), this));
    auto* profile = new QHBoxLayout;
    m_pictureButton = new QPushButton(this);
    m_pictureButton->setObjectName(QStringLiteral("myPictureButton"));
    m_pictureButton->setAccessibleName(tr("My picture"));
    m_pictureButton->setFlat(true);
    m_pictureButton->setAutoDefault(false);
    m_pictureButton->setFixedSize(kPictureSide, kPictureSide);
    m_pictureButton->setIconSize(QSize(kPictureSide, kPictureSide));
    connect(m_pictureButton, &QPushButton::clicked, this, &SettingsDialog::clickedMyPictureButton);
    profile->addWidget(m_pictureButton);
    m_nameLabel = new QLabel(this);
    m_nameLabel->setObjectName(QStringLiteral("nameLabel"));
    // Names come from the directory: never read as markup.
    m_nameLabel->setTextFormat(Qt::PlainText);
    profile->addWidget(m_nameLabel, 1);
    auto* edit = new QPushButton(tr("Edit"), this);
    edit->setObjectName(QStringLiteral("myProfileEditButton"));
    edit->setAutoDefault(false);
    profile->addWidget(edit);
    body->addLayout(profile);

    auto* form = new QFormLayout;
    m_autorunCheckBox = new QCheckBox(tr("Autorun Startupup"), this);
    m_autorunCheckBox->setObjectName(QStringLiteral("autorunCheckBox"));
    form->addRow(sectionLabel(tr("Autorun"), this), m_autorunCheckBox);

    auto* lock = new QHBoxLayout;
    m_autoLockCheckBox = new QCheckBox(tr("Automatic lock"), this);
    m_autoLockCheckBox->setObjectName(QStringLiteral("autoLockCheckBox"));
    lock->addWidget(m_autoLockCheckBox);
    m_autoLockComboBox = new QComboBox(this);
    m_autoLockComboBox->setObjectName(QStringLiteral("autoLockComboBox"));
    m_autoLockComboBox->addItems({tr("1Min"), tr("2Min"), tr("3Min"), tr("5Min"), tr("10Min")});
    m_autoLockComboBox->setEnabled(false);
    lock->addWidget(m_autoLockComboBox);
    form->addRow(sectionLabel(tr("Lock Mode"), this), lock);

    form->addRow(sectionLabel(tr("Alarm"), this), new QWidget(this));
    m_displayTimeComboBox = new QComboBox(this);
    m_displayTimeComboBox->setObjectName(QStringLiteral("alarmDisplayTimeComboBox"));
    m_displayTimeComboBox->addItems(
        {tr("3Sec"), tr("4Sec"), tr("5Sec"), tr("6Sec"), tr("7Sec"), tr("8Sec")});
    form->addRow(sectionLabel(tr("Display time"), this), m_displayTimeComboBox);
    m_alarmTypeComboBox = new QComboBox(this);
    m_alarmTypeComboBox->setObjectName(QStringLiteral("alarmTypeComboBox"));
    m_alarmTypeComboBox->addItems(
        {tr("Sound Alarm"), tr("Alarm Window"), tr("Sound Alarm + Alarm Window")});
    form->addRow(sectionLabel(tr("Alarm Type"), this), m_alarmTypeComboBox);

    m_versionLabel = new QLabel(QString::fromLatin1(MTData::kVersion), this);
    m_versionLabel->setObjectName(QStringLiteral("lblVersion"));
    form->addRow(sectionLabel(tr("Version"), this), m_versionLabel);
    body->addLayout(form);

    m_logoutButton = new QPushButton(tr("Logout"), this);
    m_logoutButton->setObjectName(QStringLiteral("logoutButton"));
    m_logoutButton->setAutoDefault(false);
    m_logoutButton->hide();
    body->addWidget(m_logoutButton);

    QMetaObject::connectSlotsByName(this);
}

void SettingsDialog::loadSettings(const LocalSettings& settings)
{
    const QSignalBlocker lockBlocker(m_autoLockComboBox);
    const QSignalBlocker timeBlocker(m_displayTimeComboBox);
    const QSignalBlocker typeBlocker(m_alarmTypeComboBox);
    autoLock(settings.autoLock());
    m_displayTimeComboBox->setCurrentIndex(
        SettingsTables::displayTimeIndex(settings.alarmDisplayTime()));
    m_alarmTypeComboBox->setCurrentIndex(SettingsTables::alarmTypeIndex(settings.alarmType()));
    m_autorunCheckBox->setChecked(settings.autoRun());

    const MTData* mtData = m_session->mtData();
    m_nameLabel->setText(mtData ? mtData->userName() : QString());
    m_thumbUrl = mtData ? mtData->thumbUrl() : QString();
    showPicture(m_thumbUrl.isEmpty() ? QString()
                                     : m_net->requestImage(m_thumbUrl, m_pictureButton));
    qDebug().noquote().nospace() << "SettingsDialog::loadSettings autoLock:" << settings.autoLock()
                                 << " alarmDisplayTime:" << settings.alarmDisplayTime()
                                 << " alarmType:" << settings.alarmType()
                                 << " autoRun:" << settings.autoRun();
}

void SettingsDialog::showPicture(const QString& filePath)
{
    QPixmap picture(filePath.isEmpty() ? QString::fromLatin1(kDefaultPicture) : filePath);
    if (picture.isNull())
        picture = QPixmap(QString::fromLatin1(kDefaultPicture));
    m_pictureButton->setIcon(
        QIcon(mtRoundPicture(picture, QSize(kPictureSide, kPictureSide), devicePixelRatioF())));
}

void SettingsDialog::logoutOk()
{
    qDebug().noquote() << "SettingsDialog::logoutOk";
    emit logoutCompleted();
    accept();
}

void SettingsDialog::autoLock(int minutes)
{
    const bool on = minutes != SettingsTables::kAutoLockOff;
    m_autoLockCheckBox->setChecked(on);
    m_autoLockComboBox->setEnabled(on);
    const int index = SettingsTables::autoLockIndex(minutes);
    // A value the box does not offer leaves its entry as it is.
    if (on && index != SettingsTables::kNoIndex)
        m_autoLockComboBox->setCurrentIndex(index);
}

void SettingsDialog::on_exitPushButton_clicked()
{
    reject();
}

void SettingsDialog::autoLockChanged(int index)
{
    emit settingsChanged(SettingsTables::UpdateAutoLock, SettingsTables::autoLockMinutes(index));
}

void SettingsDialog::alarmTypeChanged(int index)
{
    emit settingsChanged(SettingsTables::UpdateAlarmType, SettingsTables::alarmType(index));
}

void SettingsDialog::alarmDisplayTimeChanged(int index)
{
    emit settingsChanged(SettingsTables::UpdateAlarmDisplayTime,
                         SettingsTables::displayTimeSeconds(index));
}

void SettingsDialog::on_autoLockCheckBox_clicked(bool checked)
{
    m_autoLockComboBox->setEnabled(checked);
    emit settingsChanged(SettingsTables::UpdateAutoLock,
                         checked
                             ? SettingsTables::autoLockMinutes(m_autoLockComboBox->currentIndex())
                             : SettingsTables::kAutoLockOff);
}

void SettingsDialog::on_autorunCheckBox_clicked(bool checked)
{
    emit settingsChanged(SettingsTables::UpdateAutoRun, checked ? 1 : 0);
}

void SettingsDialog::on_myProfileEditButton_clicked()
{
    ProfileEditDialog dialog(m_session, this);
    connect(&dialog, &ProfileEditDialog::updateMyProfileImage, this,
            &SettingsDialog::updateMyProfile);
    connect(&dialog, &ProfileEditDialog::logout, this, &SettingsDialog::profileLogout);
    m_profileDialog = &dialog;
    dialog.exec();
}

void SettingsDialog::on_logoutButton_clicked()
{
    if (MtMessageDialog::question(this, logoutQuestion()) == QDialog::Accepted)
        sendLogout();
}

void SettingsDialog::profileLogout(ProfileEditDialog* dlg)
{
    if (MtMessageDialog::question(dlg, logoutQuestion()) != QDialog::Accepted)
        return;
    dlg->reject();
    sendLogout();
}

void SettingsDialog::sendLogout()
{
    if (m_logoutSent)
        return;
    qDebug().noquote() << "SettingsDialog::sendLogout";
    m_logoutSent = m_net->reqLogout(kReqLogout);
}

void SettingsDialog::onHttpSuccess(int reqCode, QJsonObject response)
{
    if (reqCode != kReqLogout)
        return;
    m_logoutSent = false;
    const MTData* mtData = m_session->mtData();
    const qint64 answered = DBSql::jsonInt(response, QStringLiteral("userId"));
    qDebug().noquote().nospace() << "SettingsDialog::onHttpSuccess - [REQ_HTTP_LOGOUT] userId:"
                                 << answered;
    if (!mtData || answered == 0 || answered != mtData->userId()) {
        qWarning().noquote().nospace()
            << "SettingsDialog::onHttpSuccess - logout answer names another user:" << answered;
        return;
    }
    logoutOk();
}

void SettingsDialog::onHttpFailure(int reqCode, int httpCode, QString error)
{
    if (reqCode != kReqLogout)
        return;
    m_logoutSent = false;
    qWarning().noquote().nospace()
        << "SettingsDialog::onHttpFailure - [REQ_HTTP_LOGOUT] code:" << httpCode
        << " error:" << error;
    MtMessageDialog::information(this, httpCode == NetServerManager::kErrorNetwork
                                           ? tr("Please check network connection")
                                           : error);
}

void SettingsDialog::onImageSuccess(QString urlFilePath, QString filePath, QWidget* widget)
{
    if (widget == m_pictureButton && urlFilePath == m_thumbUrl)
        showPicture(filePath);
}

void SettingsDialog::onImageFailure(QString urlFilePath, QWidget* widget)
{
    if (widget == m_pictureButton)
        qWarning().noquote().nospace()
            << "SettingsDialog::onImageFailure urlFilePath:" << urlFilePath;
}

void SettingsDialog::updateMyProfile(QString userName, QString thumbUrl)
{
    qDebug().noquote().nospace() << "SettingsDialog::updateMyProfile thumbUrl:" << thumbUrl;
    m_nameLabel->setText(userName);
    const bool removed = thumbUrl.isEmpty() && !m_thumbUrl.isEmpty();
    m_thumbUrl = thumbUrl;
    showPicture(thumbUrl.isEmpty() ? QString() : m_net->requestImage(thumbUrl, m_pictureButton));
    emit myProfileChanged(userName, thumbUrl);
    if (removed)
        emit settingsChanged(SettingsTables::UpdatePictureRemoved, 0);
}

void SettingsDialog::clickedMyPictureButton(bool /*checked*/)
{
    if (!m_clickTimer) {
        m_clickTimer = new QTimer(this);
        m_clickTimer->setSingleShot(true);
        connect(m_clickTimer, &QTimer::timeout, this,
                &SettingsDialog::processMyPictureButtonClickCount);
    }
    m_clickTimer->start(m_clickPauseMs);
    if (++m_clickCount < kLoggingClicks)
        return;
    m_clickTimer->stop();
    m_clickCount = 0;
    if (!loggingSwitch()) {
        qWarning().noquote() << "SettingsDialog::clickedMyPictureButton - no logging switch";
        return;
    }
    const bool on = loggingSwitch()();
    auto* toast = new MtToast(this);
    toast->setObjectName(QStringLiteral("loggingToast"));
    toast->setAttribute(Qt::WA_DeleteOnClose);
    toast->setText(on ? tr("Enabled Logging") : tr("Disabled Logging"));
    toast->show();
}

void SettingsDialog::processMyPictureButtonClickCount()
{
    m_clickTimer->stop();
    m_clickCount = 0;
}
