// Pictures and files: choosing, dropping, uploading, saving, the viewers and the export.
#include "chat/chatdialog.h"
#include "ui_chatdialog.h"

#include "chat/chatrules.h"
#include "messaging/mqttmanager.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "platform/shellopen.h"
#include "session/mtsession.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtfilesize.h"
#include "widgets/mtimageviewer.h"
#include "widgets/mttextviewer.h"

#include <QDebug>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QMimeData>
#include <QTemporaryFile>
#include <QTextStream>
#include <QUrl>

#include <utility>

void ChatDialog::chooseFiles(bool asImages)
{
    if (!ensureRoomReady(asImages ? QStringLiteral("image") : QStringLiteral("file")))
        return;
    // Qt's file dialogs read the patterns of one filter separated by spaces (a semicolon list is
    // one pattern that matches no file), and filters separated by ";;".
    const QString imageFilter =
        tr("Image File") + QStringLiteral(" (*.jpg *.jpeg *.png *.gif *.tif *.tiff *.bmp *.img)");
    const QString filter =
        asImages
            ? imageFilter
            : QStringList{tr("All Transfer File") + QStringLiteral(" (*)"),
                          tr("Document File") +
                              QStringLiteral(
                                  " (*.txt *.csv *.pdf *.xlsx *.docx *.pptx *.doc *.xls *.ppt)"),
                          tr("Compressed File") +
                              QStringLiteral(" (*.zip *.alz *.arj *.rar *.tar)"),
                          tr("Video File") +
                              QStringLiteral(" (*.avi *.wmv *.mpeg *.wma *.mp4 *.mpg)"),
                          tr("Audio File") + QStringLiteral(" (*.ogg *.mp3)"),
                          imageFilter}
                  .join(QStringLiteral(";;"));
    QPointer<ChatDialog> self(this);
    const QStringList files =
        QFileDialog::getOpenFileNames(this, tr("File Transfer"), QString(), filter);
    if (!self || files.isEmpty())
        return;
    qDebug().noquote() << (asImages ? "ChatDialog::on_sendImageButton_clicked"
                                    : "ChatDialog::on_sendFileButton_clicked")
                       << " selectedFiles:" << files.join(QStringLiteral(", "));
    uploadFiles(files, asImages);
}

void ChatDialog::handleDrop(QDropEvent* event)
{
    qDebug().noquote() << "ChatDialog::eventFilter"
                       << " text: " << event->mimeData()->text();
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    event->acceptProposedAction();
    if (!files.isEmpty())
        uploadFiles(files, false);
}

void ChatDialog::sendPastedPicture(const QImage& picture)
{
    // A file of its own, readable by the user only, kept in the cache as a long text's file is:
    // the chat names it, so a resend after the window was closed still finds it.
    const QString folder = FileManager::cacheFolder();
    QDir().mkpath(folder);
    QTemporaryFile file(folder + QStringLiteral("/Pasted_XXXXXX.png"));
    file.setAutoRemove(false);
    // Kept at the width that is sent (screenshots are mostly wider): the picture path then sends
    // this file itself, never a scaled copy that goes with the window, and no unsent file stays.
    const QImage kept =
        picture.width() > ChatRules::kMaxPictureWidth
            ? picture.scaledToWidth(ChatRules::kMaxPictureWidth, Qt::SmoothTransformation)
            : picture;
    if (!file.open() || !kept.save(&file, "PNG")) {
        qWarning().noquote() << "ChatDialog::sendPastedPicture - failed to save:" << file.fileName()
                             << file.errorString();
        file.remove();
        showMessage(tr("The pasted picture could not be kept for sending."));
        return;
    }
    file.close();
    qDebug().noquote() << "ChatDialog::sendPastedPicture - filePath:" << file.fileName();
    uploadFiles({file.fileName()}, true);
}

void ChatDialog::uploadFiles(const QStringList& files, bool asImages)
{
    // Dropped files take the same way as the buttons: the room is made (or the partner invited
    // back) first, then they are sent.
    if (!ensureRoomReady(asImages ? QStringLiteral("image") : QStringLiteral("file"), files))
        return;
    QList<ChatRules::UploadCandidate> candidates;
    for (const QString& file : files) {
        const QFileInfo info(file);
        candidates.append({file, info.size(), info.isDir()});
    }
    const qint64 sizeLimit =
        FileManager::instance() ? FileManager::instance()->fileSizeLimit() : 52428800;
    const ChatRules::UploadPlan plan = ChatRules::uploadPlan(candidates, asImages, sizeLimit);
    if (!plan.folders.isEmpty()) {
        qDebug().noquote() << "ChatDialog::eventFilter isdir:" << plan.folders;
        showMessage(tr("Folders can not be transferred."));
    }
    for (int i = 0; i < plan.files.size(); ++i) {
        if (!uploadOne(plan.files.at(i), plan.asImages.at(i)))
            return;
    }
    if (!plan.tooLarge.isEmpty())
        showMessage(tr("Size limit(%1)").arg(mtFileSizeText(sizeLimit)), tr("Upload"));
}

bool ChatDialog::uploadOne(const QString& path, bool asImage)
{
    MqttManager* mqtt = m_session->messaging();
    if (!mqtt || !db())
        return false;
    DBChat chat(db());
    chat.setMsgId(mqtt->makeMessageId());
    chat.setTopic(topic());
    chat.setMsgType(1);
    chat.setSenderId(ownUserId());
    chat.setMsgTime(QDateTime::currentMSecsSinceEpoch());
    chat.setMsgState(3);
    chat.setMsgRead(true);
    const QFileInfo info(path);
    QString sendPath = path;
    if (asImage) {
        QImage image(path);
        if (image.isNull()) {
            qWarning().noquote() << "ChatDialog::uploadFiles - failed to load, filePath=" << path;
            showMessage(tr("This image is a corrupted image."));
            return false;
        }
        if (image.width() > ChatRules::kMaxPictureWidth) {
            image = image.scaledToWidth(ChatRules::kMaxPictureWidth, Qt::SmoothTransformation);
            // A private file of its own per picture: two pictures of one name never share it.
            auto copy = std::make_shared<QTemporaryFile>(
                FileManager::cacheFolder() + QStringLiteral("/scaled-XXXXXX.") + info.suffix());
            if (!copy->open() || !image.save(copy.get(), info.suffix().toLatin1().constData())) {
                qWarning().noquote()
                    << "ChatDialog::uploadFiles - failed to save, filePath=" << path;
                return false;
            }
            copy->close();
            sendPath = copy->fileName();
            m_scaledCopies.insert(chat.msgId(), copy);
        }
        chat.setImage(QString(), QString(), info.fileName(), image.width(), image.height());
        chat.setContent(2, chat.toMessage());
    } else {
        chat.setFile(QString(), info.fileName(), info.size(), QString());
        chat.setContent(4, chat.toMessage());
    }
    chat.setFilePath(sendPath);
    if (chat.insert() < 0) {
        qWarning() << "ChatDialog::uploadFiles - chat insert is failure";
        m_scaledCopies.remove(chat.msgId());
        return false;
    }
    addMyChatItem(chat, false);
    const bool started =
        asImage ? net()->uploadChatImage(chat.msgId(), sendPath, QSize(chat.width(), chat.height()))
                : net()->uploadChatFile(chat.msgId(), sendPath);
    if (!started) {
        chat.updateMsgState(5);
        if (MtChatBaseItem* item = ui->chatView->findItem(chat.msgId()))
            item->setState(1);
        m_scaledCopies.remove(chat.msgId());
        return true;
    }
    m_uploads.insert(chat.msgId());
    return true;
}

void ChatDialog::onUploadProgress(const QString& reqId, qint64 sent, qint64 total)
{
    const int value = ChatRules::transferPercent(sent, total);
    if (!m_uploads.contains(reqId) || value < 0)
        return;
    ui->chatView->setMessageProgress(reqId, value);
}

void ChatDialog::onUploadSuccess(const QString& reqId, const QJsonObject& response)
{
    qDebug().noquote() << "ChatDialog::onUploadSuccess - reqId=" << reqId;
    if (!m_uploads.remove(reqId))
        return;
    m_scaledCopies.remove(reqId);
    DBChat chat(db());
    if (!db() || !db()->findChat(topic(), reqId, chat)) {
        qCritical().noquote() << "ChatDialog::onUploadSuccess - no stored chat, reqId=" << reqId;
        ui->chatView->setMessageState(reqId, 1);
        return;
    }
    const QString webUrl = response.value(QStringLiteral("webUrl")).toString();
    if (chat.contentType() == 2) {
        chat.setImage(response.value(QStringLiteral("thumbUrl")).toString(), webUrl,
                      chat.fileName(), chat.width(), chat.height());
    } else {
        chat.setFile(webUrl, chat.fileName(), chat.fileSize(), chat.previewText());
    }
    const QString content = chat.toMessage();
    if (!chat.updateMsgStateAndContent(4, content))
        qCritical().noquote() << "ChatDialog::onUploadSuccess - not stored as uploaded, msgId="
                              << reqId;
    ui->chatView->setMessageState(reqId, 0);
    ui->chatView->setMessageProgress(reqId, 100);
    m_session->outbox()->send(chat);
}

void ChatDialog::onUploadFailure(const QString& reqId, int errCode, const QString& error)
{
    qCritical().noquote() << "ChatDialog::onUploadFailure - reqId=" << reqId
                          << ", errCode=" << errCode << ", error=" << error;
    if (!m_uploads.remove(reqId))
        return;
    // A scaled copy stays while the window is open: the resend sends it.
    ui->chatView->setMessageState(reqId, 1);
    DBChat chat(db());
    if (db() && db()->findChat(topic(), reqId, chat))
        chat.updateMsgState(5);
}

void ChatDialog::failUnfinishedUploads()
{
    // No answer reaches a window that has gone (its engine aborts the transfers with it): a chat
    // still going up is failed now, so a window opened later offers its resend instead of
    // showing it "Sending" for ever.
    const QSet<QString> unfinished = std::exchange(m_uploads, {});
    for (const QString& id : unfinished) {
        DBChat chat(db());
        if (!db() || !db()->findChat(topic(), id, chat) || !chat.updateMsgState(5))
            qCritical().noquote() << "ChatDialog::failUnfinishedUploads - not stored as failed, "
                                     "msgId="
                                  << id;
    }
    // The stored chat names its scaled copy: a resend from a later window sends that file.
    for (const std::shared_ptr<QTemporaryFile>& copy : qAsConst(m_scaledCopies))
        copy->setAutoRemove(false);
    m_scaledCopies.clear();
}

void ChatDialog::onImageSuccess(const QString& url, const QString& filePath)
{
    if (url.isEmpty())
        return;
    const QStringList ids = m_thumbRequests.take(url);
    for (const QString& id : ids) {
        DBChat chat(db());
        if (!db() || !db()->findChat(topic(), id, chat))
            continue;
        // The bubble is made again with its picture; it keeps its place by time.
        if (ui->chatView->findItem(id)) {
            const bool own = chat.senderId() == ownUserId();
            removeItem(id);
            // The bubble keeps its sender's picture; only the thumbnail is new.
            ui->chatView->addChat(chat, own,
                                  own ? QPixmap() : senderPicture(chat.senderThumbUrl(), false),
                                  QPixmap(filePath), false);
            m_shownIds.insert(id);
        }
    }
    if (ids.isEmpty())
        updatePicture();
}

void ChatDialog::openFile(const QString& path)
{
    if (ChatRules::mayRunProgram(path)) {
        QPointer<ChatDialog> self(this);
        const bool yes = askQuestion(
            tr("This file can run a program on this computer.\nDo you want to open it?"));
        if (!self || !yes)
            return;
    }
    if (platformShellOpen(path) <= 32)
        qWarning().noquote() << "ChatDialog::on_chatView_fileOpened - failed to open" << path;
}

void ChatDialog::openFolder(const QString& path)
{
    if (!platformOpenUrl(QFileInfo(path).absolutePath()))
        qWarning().noquote() << "ChatDialog::on_chatView_folderOpened - failed to open" << path;
}

void ChatDialog::openImage(const QString& messageId)
{
    if (!db())
        return;
    if (!m_imageViewer) {
        m_imageViewer = new MtImageViewer(this);
        m_popups << m_imageViewer.data();
        connect(m_imageViewer.data(), &MtImageViewer::requestImagePath, this,
                [this](const QString& id) {
                    DBChat chat(db());
                    if (!db()->findChat(topic(), id, chat)) {
                        m_imageViewer->failedLoadImage();
                        return;
                    }
                    const QString local = QFileInfo::exists(chat.filePath())
                                              ? chat.filePath()
                                              : FileManager::cachedFile(chat.remotePathUrl());
                    if (!local.isEmpty()) {
                        m_imageViewer->updateImagePath(id, local);
                        return;
                    }
                    m_imageViewerRequests.insert(id);
                    net()->downloadFile(id, chat.remotePathUrl(), QString());
                });
        connect(m_imageViewer.data(), &MtImageViewer::requestImageSave, this,
                [this](const QString& id, QWidget*) { saveFromViewer(id); });
    }
    QList<DBChat> all;
    db()->exportChatList(all, topic());
    for (const DBChat& chat : all) {
        if (chat.contentType() != 2)
            continue;
        const QString thumb = FileManager::cachedFile(chat.remoteThumbUrl());
        const QString path = QFileInfo::exists(chat.filePath()) ? chat.filePath() : thumb;
        m_imageViewer->addImage(chat.msgId(), chat.senderName(),
                                QDateTime::fromMSecsSinceEpoch(chat.msgTime()), QPixmap(path),
                                QString());
    }
    m_imageViewer->thumbItemSelected(messageId);
    m_imageViewer->show();
    m_imageViewer->raise();
}

void ChatDialog::openText(const QString& messageId)
{
    DBChat chat(db());
    if (!db() || !db()->findChat(topic(), messageId, chat)) {
        qWarning() << "ChatDialog::on_chatView_textOpened failed to load chat";
        return;
    }
    QString path =
        QFileInfo::exists(chat.filePath())
            ? chat.filePath()
            : FileManager::cacheFilePath(FileManager::safeFileName(chat.remotePathUrl()));
    if (!QFileInfo::exists(path)) {
        m_textRequests.insert(messageId);
        net()->downloadFile(messageId, chat.remotePathUrl(), QString());
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showMessage(tr("Failed to save long text"));
        return;
    }
    if (!m_textViewer) {
        m_textViewer = new MtTextViewer(this);
        m_popups << m_textViewer.data();
        connect(m_textViewer.data(), &MtTextViewer::requestTextSave, this,
                [this](const QString& id) { saveFromViewer(id); });
    }
    m_textViewer->setText(chat.senderName(), QString::fromUtf8(file.readAll()), messageId);
    m_textViewer->show();
    m_textViewer->raise();
}
