// Saving what the room holds: a file or picture to the user's folder (quietly, or through
// "Save as", from a bubble or a viewer), and the whole conversation as a text file.
#include "chat/chatdialog.h"
#include "ui_chatdialog.h"

#include "chat/chatexport.h"
#include "chat/chatrules.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "platform/shellopen.h"
#include "session/mtsession.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtimageviewer.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QSaveFile>

#include <utility>

namespace {

// The chat's file as this computer has it: where it was saved or sent from, else the cached
// download of its address; empty when neither is there.
QString localCopy(const DBChat& chat)
{
    if (!chat.filePath().isEmpty() && QFileInfo::exists(chat.filePath()))
        return chat.filePath();
    if (chat.remotePathUrl().isEmpty())
        return QString();
    const QString cached =
        FileManager::cacheFilePath(FileManager::safeFileName(chat.remotePathUrl()));
    return QFileInfo::exists(cached) ? cached : QString();
}

bool isLongText(const DBChat& chat)
{
    return chat.contentType() == 4 && !chat.previewText().isEmpty();
}

// A reserved name that was never written goes again.
void removeIfEmpty(const QString& path)
{
    if (!path.isEmpty() && QFileInfo(path).size() == 0)
        QFile::remove(path);
}

} // namespace

void ChatDialog::saveFile(const QString& messageId, bool saveAs, bool authorized)
{
    DBChat chat(db());
    if (!db() || !db()->findChat(topic(), messageId, chat)) {
        qWarning() << "ChatDialog::on_chatView_saveFile failed to load chat";
        return;
    }
    // Without option 330 the server first says whether this user may save files; each save
    // waits for its own answer. A long text already on this computer is the user's to copy.
    const bool needsAuth = (chat.contentType() == 3 || chat.contentType() == 4) &&
                           !(isLongText(chat) && !localCopy(chat).isEmpty()) &&
                           m_session->mtData() && !m_session->mtData()->fileSaveOption();
    if (needsAuth && !authorized) {
        m_authPending.append({messageId, saveAs});
        if (!net()->reqFileAuth(kReqFileAuth)) {
            m_authPending.removeLast();
            showMessage(tr("Failed to save file."));
        }
        return;
    }
    const QString name = FileManager::safeFileName(chat.fileName());
    QString target;
    const bool quiet = !saveAs && (chat.contentType() == 3 ||
                                   (chat.contentType() == 4 && chat.previewText().isEmpty()));
    if (quiet) {
        target = ChatRules::reserveSaveName(FileManager::downloadFolder(), name);
        if (target.isEmpty()) {
            qWarning().noquote() << "ChatDialog::saveFile - no name can be made in"
                                 << FileManager::downloadFolder();
            showMessage(tr("Failed to save file."));
            return;
        }
    } else {
        QPointer<ChatDialog> self(this);
        target = QFileDialog::getSaveFileName(
            this, tr("Save As"), FileManager::downloadFolder() + QLatin1Char('/') + name);
        if (!self || target.isEmpty())
            return;
    }
    // What is on this computer already is copied, not fetched again.
    const QString local = localCopy(chat);
    if (!local.isEmpty()) {
        finishSave(messageId, local, target);
        return;
    }
    m_downloads.insert(messageId, target);
    if (!net()->downloadFile(messageId, chat.remotePathUrl(), target)) {
        m_downloads.remove(messageId);
        m_openFolderAfterSave.remove(messageId);
        removeIfEmpty(target);
        showMessage(tr("Failed to save file."));
    }
}

void ChatDialog::saveFromViewer(const QString& messageId)
{
    // The viewer shows no bubble to open the saved file from: its folder is opened instead.
    m_openFolderAfterSave.insert(messageId);
    saveFile(messageId, true);
}

void ChatDialog::finishSave(const QString& messageId, const QString& from, const QString& target)
{
    const bool openFolderAfter = m_openFolderAfterSave.remove(messageId);
    if (QFileInfo(from).absoluteFilePath() != QFileInfo(target).absoluteFilePath()) {
        QFile::remove(target); // the reserved empty name, or the file the user chose to replace
        if (!QFile::copy(from, target)) {
            qWarning().noquote() << "ChatDialog::finishSave - copy failed" << from << target;
            removeIfEmpty(target);
            showMessage(tr("Failed to save file."));
            return;
        }
    }
    savedAt(messageId, target);
    if (openFolderAfter)
        openFolder(target);
}

void ChatDialog::savedAt(const QString& messageId, const QString& path)
{
    DBChat chat(db());
    if (db() && db()->findChat(topic(), messageId, chat) && !chat.updateFilePath(path))
        qWarning().noquote() << "ChatDialog::savedAt - file path not stored, msgId=" << messageId;
    if (MtChatBaseItem* item = ui->chatView->findItem(messageId)) {
        item->setFilePath(path);
        item->setState(16);
    }
}

void ChatDialog::fileAuthAnswer(const QJsonObject& response)
{
    if (m_authPending.isEmpty())
        return;
    const PendingSave pending = m_authPending.takeFirst();
    if (response.value(QStringLiteral("status")).toInt() != 200) {
        m_openFolderAfterSave.remove(pending.messageId);
        const QString text = response.value(QStringLiteral("message")).toString();
        showMessage(text.isEmpty() ? tr("You are not allowed to save files.") : text);
        return;
    }
    saveFile(pending.messageId, pending.saveAs, true);
}

void ChatDialog::onDownloadProgress(const QString& reqId, qint64 received, qint64 total)
{
    const int value = ChatRules::transferPercent(received, total);
    if (!m_downloads.contains(reqId) || value < 0)
        return;
    ui->chatView->setMessageState(reqId, 2);
    ui->chatView->setMessageProgress(reqId, value);
}

void ChatDialog::onDownloadSuccess(const QString& reqId, const QString& url,
                                   const QString& savePath)
{
    Q_UNUSED(url)
    qDebug().noquote() << "ChatDialog::onDownloadSuccess - reqId=" << reqId
                       << ", saveFilePath=" << savePath;
    if (m_downloads.remove(reqId)) {
        const bool openFolderAfter = m_openFolderAfterSave.remove(reqId);
        savedAt(reqId, savePath);
        if (openFolderAfter)
            openFolder(savePath);
        return;
    }
    if (exportTextEnded(reqId))
        return;
    if (m_textRequests.remove(reqId)) {
        DBChat chat(db());
        if (db() && db()->findChat(topic(), reqId, chat) && !chat.updateFilePath(savePath))
            qWarning().noquote() << "ChatDialog::onDownloadSuccess - path not stored" << reqId;
        openText(reqId);
        return;
    }
    if (m_imageViewerRequests.remove(reqId) && m_imageViewer)
        m_imageViewer->updateImagePath(reqId, savePath);
}

void ChatDialog::onDownloadFailure(const QString& reqId, int errCode, const QString& error)
{
    qWarning().noquote() << "ChatDialog::onDownloadFailure - reqId=" << reqId
                         << ", errCode=" << errCode << ", error=" << error;
    if (m_downloads.contains(reqId)) {
        m_openFolderAfterSave.remove(reqId);
        removeIfEmpty(m_downloads.take(reqId));
        // The bubble offers Save and Save as again, without a bar: the box has told the user,
        // and a bubble stuck at "Error saving" would leave no way to try again.
        ui->chatView->setMessageState(reqId, 16);
        showMessage(tr("Failed to save image"));
        return;
    }
    // A long text that could not be fetched goes into the export as its preview, marked as cut.
    if (exportTextEnded(reqId))
        return;
    if (m_textRequests.remove(reqId)) {
        showMessage(tr("Failed to save long text"));
        return;
    }
    if (m_imageViewerRequests.remove(reqId) && m_imageViewer)
        m_imageViewer->failedLoadImage();
}

QString ChatDialog::exportConversationTo(const QString& path)
{
    QList<DBChat> chats;
    db()->exportChatList(chats, topic());
    ChatExportWriter writer(m_room.roomName(), QDateTime::currentDateTime(),
                            QLocale::system().language() == QLocale::Korean);
    writer.setLongTextReader([](const DBChat& chat) {
        QFile file(localCopy(chat));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    });
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !writer.write(&file, chats) || !file.commit())
        return file.errorString();
    return QString();
}

void ChatDialog::exportConversation()
{
    if (isDummy() || !db() || !m_exportPath.isEmpty())
        return;
    const QString proposed =
        FileManager::downloadFolder() + QLatin1Char('/') +
        ChatRules::exportFileName(m_room.roomName(), QDateTime::currentDateTime());
    QPointer<ChatDialog> self(this);
    const QString path = QFileDialog::getSaveFileName(this, tr("Save As"), proposed);
    if (!self || path.isEmpty())
        return;
    m_exportPath = path;
    // Long texts never opened here are fetched first, so that the file holds them whole.
    QList<DBChat> chats;
    db()->exportChatList(chats, topic());
    for (const DBChat& chat : qAsConst(chats)) {
        if (!isLongText(chat) || !localCopy(chat).isEmpty() || chat.remotePathUrl().isEmpty())
            continue;
        if (net()->downloadFile(chat.msgId(), chat.remotePathUrl(), QString()))
            m_exportTexts.insert(chat.msgId());
    }
    if (m_exportTexts.isEmpty())
        writePendingExport();
}

bool ChatDialog::exportTextEnded(const QString& reqId)
{
    if (!m_exportTexts.remove(reqId))
        return false;
    if (m_exportTexts.isEmpty())
        writePendingExport();
    return true;
}

void ChatDialog::writePendingExport()
{
    const QString path = std::exchange(m_exportPath, QString());
    if (path.isEmpty())
        return;
    const QString error = exportConversationTo(path);
    if (!error.isEmpty()) {
        qWarning().noquote() << "ChatDialog::exportConversation - failed:" << error;
        showMessage(tr("Failed to save file."));
    }
}
