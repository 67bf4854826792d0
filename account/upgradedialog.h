#pragma once

#include <QDialog>
#include <QNetworkReply>
#include <QTimer>

#include <memory>

namespace Ui {
class UpgradeDialog;
}
class QNetworkAccessManager;
class QSaveFile;

// Downloads the installer named by a version refusal's update link into the cache folder, with a
// progress bar. It ends accepted only when the whole file is on disk under a safe name; every
// other outcome (a link that is not https, no usable file name, a network or HTTP error, a file
// that cannot be written, a download that stalls, Cancel) shows why and ends rejected. The
// caller then starts the file (startInstaller) and quits only when that worked.
class UpgradeDialog : public QDialog
{
    Q_OBJECT
public:
    // A download that receives nothing for this long fails.
    static constexpr int kStallMsec = 30000;

    // `caFile` is the organisation's extra CA (ServerConfig::caFile()); the server's certificate
    // is always verified.
    UpgradeDialog(const QString& updateLink, const QString& caFile, QWidget* parent = nullptr);
    ~UpgradeDialog() override;

    // Where the installer is (or would have been) written; meaningful once the dialog accepted.
    QString downloadFilePath() const { return m_filePath; }
    // Why the dialog ended rejected; empty after success or before the end.
    QString errorString() const { return m_error; }
    void setStallTimeout(int msec) { m_stallTimer.setInterval(msec); }

    // The installer's file name for a link: the last non-empty part of its path, reduced to a
    // name no file system refuses and that cannot climb out of the folder; empty when nothing
    // usable is left.
    static QString fileNameFor(const QString& updateLink);
    // Opens the downloaded file with the desktop (once more when the shell answers "access
    // denied"). True when it started; otherwise a box names the file and the error, and the
    // program must go on running.
    static bool startInstaller(QWidget* parent, const QString& filePath);

public slots:
    void reject() override;

private slots:
    void download();
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void finishedDownload();
    void errorDownload(QNetworkReply::NetworkError code);
    void readDownload();
    void stalled();

private:
    // Ends the dialog rejected after one box with the reason; later calls do nothing.
    void fail(const QString& userText, const QString& logText);
    bool isHttpSuccess() const;
    void stopReply();

    Ui::UpgradeDialog* ui;
    QString m_link;
    QString m_caFile;
    QString m_filePath;
    QString m_error;
    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr;
    std::unique_ptr<QSaveFile> m_file;
    qint64 m_written = 0;
    QTimer m_stallTimer;
    bool m_ended = false;
};
