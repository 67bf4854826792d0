// Sending text, resending, and the room that must exist before anything is sent.
#include "chat/chatdialog.h"
#include "ui_chatdialog.h"

#include "chat/chatrules.h"
#include "messaging/mqttmanager.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "session/mtsession.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/messagetrace.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatwidget.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>

bool ChatDialog::handleSendKey(QKeyEvent* event)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    switch (ChatRules::sendKeyAction(event->key(), event->modifiers(), now, m_lastKeySendMs)) {
    case ChatRules::KeyAction::PassOn:
        return false;
    case ChatRules::KeyAction::TooFast:
        qDebug().noquote() << "ChatDialog::on_sendButton_clicked"
                           << " too fast to send message"
                           << " m_lastSentMessageDateTime:" << m_lastKeySendMs
                           << " currentDateTime:" << now;
        showMessage(tr("Too fast to send message\nPlease retry after a few seconds"));
        // Consumed: a line break would otherwise go into the box and out with the next text.
        return true;
    case ChatRules::KeyAction::Send:
        m_lastKeySendMs = now;
        sendText();
        return true;
    }
    return false;
}

void ChatDialog::commitComposition()
{
    QGuiApplication::inputMethod()->commit();
    if (m_preedit.isEmpty())
        return;
    // The platform's input method did not commit it (or there is none): commit it here, so the
    // syllable being composed goes out with the text instead of staying behind in the box.
    QInputMethodEvent commit;
    commit.setCommitString(m_preedit);
    m_preedit.clear();
    QCoreApplication::sendEvent(ui->textEdit, &commit);
}

void ChatDialog::sendText()
{
    ui->textEdit->setFocus();
    commitComposition();
    const QString text = ui->textEdit->toPlainText();
    const ChatRules::TextPlan plan = ChatRules::textPlan(text);
    if (plan.kind == ChatRules::TextPlan::Nothing)
        return;
    if (!ensureRoomReady(QStringLiteral("message")))
        return;
    MqttManager* mqtt = m_session->messaging();
    if (!mqtt || !db())
        return;

    DBChat chat(db());
    chat.setMsgId(mqtt->makeMessageId());
    chat.setMsgTime(QDateTime::currentMSecsSinceEpoch());
    chat.setTopic(topic());
    chat.setMsgType(1);
    chat.setSenderId(ownUserId());
    chat.setMsgRead(true);
    qCDebug(lcMessageTrace).noquote() << "ChatDialog::on_sendButton_clicked text:" << text;

    if (plan.kind == ChatRules::TextPlan::Text) {
        chat.setContent(1, text);
        chat.setMsgState(0);
        if (!chat.insertOrUpdate())
            qWarning().noquote() << "ChatDialog::sendText - failed to store msgId=" << chat.msgId();
        // Stored before it is published, so the echo never finds it missing; shown after, so
        // the bubble costs the message no time on its way out. The session's outbox publishes
        // it, and again at every connect until it is confirmed, window open or not.
        m_session->outbox()->send(chat);
        addMyChatItem(chat, false);
    } else {
        const QString path = FileManager::makeTextFile(text);
        if (path.isEmpty()) {
            showMessage(tr("Cann't send long message. Try again."));
            return;
        }
        if (!net()->uploadChatFile(chat.msgId(), path)) {
            showMessage(tr("Cann't send long message. Try again."));
            qWarning().noquote() << "ChatDialog::on_sendButton_clicked"
                                 << " failed to uploadFile textFilePath:" << path;
            return;
        }
        const QFileInfo info(path);
        chat.setFile(QString(), info.fileName(), info.size(), plan.preview);
        chat.setContent(4, chat.toMessage());
        chat.setFilePath(path);
        chat.setMsgState(3);
        m_uploads.insert(chat.msgId());
        if (!chat.insertOrUpdate())
            qWarning().noquote() << "ChatDialog::sendText - failed to store msgId=" << chat.msgId();
        addMyChatItem(chat, false);
    }
    qCDebug(lcMessageTrace) << "ChatDialog::on_sendButton_clicked msg_type:" << chat.msgType();
    ui->textEdit->clear();
    ui->textEdit->setFocus();
}

bool ChatDialog::ensureRoomReady(const QString& action, const QStringList& files)
{
    const bool leftRoom = m_room.type() == RoomTypeLeave;
    if (!isDummy() && !leftRoom)
        return true;
    m_pendingAction = action;
    m_pendingFiles = files;
    ui->textEdit->setFocus();
    // One creation (or invite-back) at a time: a second send only keeps what it wanted.
    if (m_roomRequestInFlight)
        return false;
    m_roomRequestInFlight = true;
    bool sent = false;
    if (isDummy()) {
        qDebug().noquote() << "ChatDialog::newCreateChatRoom members:" << m_room.members();
        DBChatRoom request = m_room;
        sent = net()->reqNewChatRoom(kReqNewRoom, request);
    } else {
        qDebug().noquote() << "ChatDialog::on_sendButton_clicked - room is RoomTypeLeave, so "
                              "request to invite";
        sent = net()->reqInviteMember(kReqInviteBack, NetServerManager::roomIdFromTopic(topic()),
                                      m_room.members().split(QLatin1Char(','), Qt::SkipEmptyParts));
    }
    if (!sent)
        m_roomRequestInFlight = false;
    return false;
}

void ChatDialog::runPendingAction()
{
    const QString action = m_pendingAction;
    const QStringList files = m_pendingFiles;
    m_pendingAction.clear();
    m_pendingFiles.clear();
    if (action == QLatin1String("message"))
        sendText();
    else if (action == QLatin1String("resend") && !files.isEmpty())
        resend(files.first());
    else if ((action == QLatin1String("file") || action == QLatin1String("image")) &&
             !files.isEmpty())
        uploadFiles(files, action == QLatin1String("image"));
    else if (action == QLatin1String("file") || action == QLatin1String("image"))
        chooseFiles(action == QLatin1String("image"));
}

void ChatDialog::resend(const QString& messageId)
{
    if (!db())
        return;
    DBChat chat(db());
    if (!db()->findChat(topic(), messageId, chat))
        return;
    if (!ensureRoomReady(QStringLiteral("resend"), {messageId}))
        return;
    MtChatBaseItem* item = ui->chatView->findItem(messageId);
    const bool uploaded = !chat.remotePathUrl().isEmpty();
    if (chat.contentType() == 1 ||
        ((chat.contentType() == 2 || chat.contentType() == 4) && uploaded)) {
        if (item) {
            item->setState(0);
            if (chat.contentType() != 1)
                item->setProgress(100);
        }
        if (!chat.updateMsgState(0))
            qCritical().noquote() << "ChatDialog::resend - not stored as sending, msgId="
                                  << messageId;
        m_session->outbox()->send(chat);
        return;
    }
    if (chat.contentType() != 2 && chat.contentType() != 4)
        return;
    const bool started =
        chat.contentType() == 2
            ? net()->uploadChatImage(messageId, chat.filePath(), QSize(chat.width(), chat.height()))
            : net()->uploadChatFile(messageId, chat.filePath());
    if (!started) {
        showMessage(tr("The file can no longer be read."));
        return;
    }
    if (item)
        item->setState(0);
    chat.updateMsgState(3);
    m_uploads.insert(messageId);
}
