#include "account/upgradedialog.h"
#include "ui_upgradedialog.h"

#include "net/filemanager.h"
#include "net/nettls.h"
#include "platform/shellopen.h"
#include "widgets/mtmessagedialog.h"

#include <QDebug>
#include <QDir>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSaveFile>
#include <QUrl>

UpgradeDialog::UpgradeDialog(const QString& updateLink, const QString& caFile, QWidget* parent)
    : QDialog(parent), ui(new Ui::UpgradeDialog), m_link(updateLink), m_caFile(caFile)
{
    ui->setupUi(this);
    // Only Cancel: the dialog accepts by itself once the file is whole on disk, so that the
    // caller never starts a file that is not there.
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &UpgradeDialog::reject);
    m_network = new QNetworkAccessManager(this);
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setInterval(kStallMsec);
    connect(&m_stallTimer, &QTimer::timeout, this, &UpgradeDialog::stalled);
    // Once the caller's exec() runs its event loop.
    QTimer::singleShot(1, this, &UpgradeDialog::download);
}

UpgradeDialog::~UpgradeDialog()
{
    stopReply();
    delete ui;
}

QString UpgradeDialog::fileNameFor(const QString& updateLink)
{
    const QUrl url(updateLink);
    if (!url.isValid())
        return QString();
    QString path = url.path();
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? QString() : FileManager::safeFileName(parts.last());
}

bool UpgradeDialog::startInstaller(QWidget* parent, const QString& filePath)
{
    int result = platformShellOpen(filePath);
    if (result == 5)
        result = platformShellOpen(filePath);
    qDebug().noquote().nospace() << "UpgradeDialog::startInstaller ShellExecute Result Value:"
                                 << result;
    if (result > 32)
        return true;
    qWarning().noquote().nospace()
        << "UpgradeDialog::startInstaller failed to ShellExecute file:" << filePath;
    MtMessageDialog::information(
        parent,
        tr("The update was downloaded but could not be started (error %1).\nStart it yourself:\n%2")
            .arg(result)
            .arg(QDir::toNativeSeparators(filePath)));
    return false;
}

void UpgradeDialog::reject()
{
    if (!m_ended) {
        m_ended = true;
        m_error = tr("Cancelled");
        qDebug().noquote().nospace() << "UpgradeDialog::reject - cancelled link:" << m_link;
        stopReply();
    }
    QDialog::reject();
}

void UpgradeDialog::download()
{
    qDebug().noquote().nospace() << "UpgradeDialog::download link:" << m_link;
    const QUrl url(m_link);
    // Only a verified server may hand over a program that is about to be run.
    if (!url.isValid() || url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0 ||
        url.host().isEmpty()) {
        fail(tr("The update link is not a secure address:\n%1").arg(m_link),
             QStringLiteral("not an https link"));
        return;
    }
    const QString name = fileNameFor(m_link);
    if (name.isEmpty()) {
        fail(tr("No filename on update url"), QStringLiteral("no file name"));
        return;
    }
    const QString folder = FileManager::cacheFolder();
    m_filePath = folder + QLatin1Char('/') + name;
    m_file = std::make_unique<QSaveFile>(m_filePath);
    // Unbuffered, so that a short write shows at once instead of vanishing in a flush.
    if (!QDir().mkpath(folder) || !m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail(tr("The update cannot be saved to %1:\n%2")
                 .arg(QDir::toNativeSeparators(m_filePath), m_file->errorString()),
             QStringLiteral("cannot open ") + m_filePath);
        return;
    }
    ui->progressBar->setValue(0);

    QNetworkRequest request(url);
    request.setSslConfiguration(NetTls::configuration(m_caFile));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    m_reply = m_network->get(request);
    if (!m_reply) {
        fail(tr("Download error"), QStringLiteral("no reply"));
        return;
    }
    connect(m_reply, &QNetworkReply::finished, this, &UpgradeDialog::finishedDownload);
    connect(m_reply, &QNetworkReply::errorOccurred, this, &UpgradeDialog::errorDownload);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &UpgradeDialog::downloadProgress);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpgradeDialog::readDownload);
    m_stallTimer.start();
}

void UpgradeDialog::downloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    m_stallTimer.start();
    // Without a size the bar runs as a busy indicator.
    if (bytesTotal <= 0) {
        ui->progressBar->setRange(0, 0);
        return;
    }
    ui->progressBar->setRange(0, 100);
    ui->progressBar->setValue(int(qBound<qint64>(0, bytesReceived * 100 / bytesTotal, 100)));
}

void UpgradeDialog::readDownload()
{
    if (m_ended)
        return;
    m_stallTimer.start();
    const QByteArray bytes = m_reply->readAll();
    // An error page is never written as the installer.
    if (m_reply->error() != QNetworkReply::NoError || !isHttpSuccess())
        return;
    if (m_file->write(bytes) != bytes.size()) {
        fail(tr("The update cannot be saved to %1:\n%2")
                 .arg(QDir::toNativeSeparators(m_filePath), m_file->errorString()),
             QStringLiteral("write failed ") + m_filePath);
        return;
    }
    m_written += bytes.size();
}

void UpgradeDialog::errorDownload(QNetworkReply::NetworkError code)
{
    // finished() always follows and ends the dialog; aborting from inside the reply's own
    // error report would report it twice.
    qWarning().noquote().nospace()
        << "UpgradeDialog::errorDownload - error " << int(code) << " " << m_reply->errorString();
}

void UpgradeDialog::finishedDownload()
{
    m_stallTimer.stop();
    // finished() also follows an error, a cancel or a stall, which have already ended the dialog.
    if (m_ended)
        return;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (m_reply->error() != QNetworkReply::NoError || !isHttpSuccess()) {
        fail(tr("Download error"), QStringLiteral("status:") + status.toString() +
                                       QStringLiteral(" error:") + m_reply->errorString());
        return;
    }
    readDownload();
    if (m_ended)
        return;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() != m_written) {
        fail(tr("Download error"),
             QStringLiteral("short body %1 of %2").arg(m_written).arg(length.toLongLong()));
        return;
    }
    if (!m_file->commit()) {
        fail(tr("The update cannot be saved to %1:\n%2")
                 .arg(QDir::toNativeSeparators(m_filePath), m_file->errorString()),
             QStringLiteral("commit failed ") + m_filePath);
        return;
    }
    m_ended = true;
    ui->progressBar->setRange(0, 100);
    ui->progressBar->setValue(100);
    qDebug().noquote().nospace() << "UpgradeDialog::finishedDownload filePath:" << m_filePath
                                 << " bytes:" << m_written;
    MtMessageDialog::information(this, tr("Completed"));
    accept();
}

void UpgradeDialog::stalled()
{
    if (m_ended)
        return;
    fail(tr("The download stopped: the server sent nothing more."),
         QStringLiteral("nothing received for %1 ms").arg(m_stallTimer.interval()));
}

void UpgradeDialog::fail(const QString& userText, const QString& logText)
{
    if (m_ended)
        return;
    m_ended = true;
    m_error = userText;
    qWarning().noquote().nospace() << "UpgradeDialog::fail - " << logText << " link:" << m_link;
    stopReply();
    MtMessageDialog::information(this, userText);
    QDialog::reject();
}

bool UpgradeDialog::isHttpSuccess() const
{
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status < 300;
}

void UpgradeDialog::stopReply()
{
    m_stallTimer.stop();
    if (m_reply) {
        m_reply->disconnect(this);
        if (m_reply->isRunning())
            m_reply->abort();
    }
    // An unfinished file never replaces what is on disk, and its temporary file goes now.
    if (m_file) {
        m_file->cancelWriting();
        m_file.reset();
    }
}
