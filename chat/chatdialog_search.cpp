// Search in the room: text chats containing the text, newest first, stepped through with the
// arrows; older pages are loaded until the match is in the view.
#include "chat/chatdialog.h"
#include "ui_chatdialog.h"

#include "chat/chatrules.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtsearchlineedit.h"

#include <QDebug>
#include <QLineEdit>

void ChatDialog::openSearch()
{
    ui->toolBarFrame->hide();
    ui->searchFrame->show();
    ui->searchLineEdit->lineEdit()->setFocus();
}

void ChatDialog::closeSearch()
{
    m_searchTarget.clear();
    clearHighlight();
    m_searchIndex = 0;
    m_searchCount = 0;
    m_searchText.clear();
    ui->searchDownButton->setEnabled(false);
    ui->searchUpButton->setEnabled(false);
    ui->searchFrame->hide();
    ui->toolBarFrame->show();
    ui->textEdit->setFocus();
}

void ChatDialog::clearHighlight()
{
    if (m_highlightId.isEmpty())
        return;
    if (MtChatBaseItem* item = ui->chatView->findItem(m_highlightId))
        item->removeHighlight();
    m_highlightId.clear();
}

void ChatDialog::search(const QString& text)
{
    if (text == m_searchText && ui->searchUpButton->isEnabled()) {
        stepSearch(1);
        return;
    }
    qDebug().noquote() << "ChatDialog::on_searchLineEdit_returnPressed text:" << text;
    clearHighlight();
    m_searchText = text;
    m_searchIndex = 0;
    m_searchCount = db() && !text.isEmpty() ? db()->searchTextChatCount(topic(), text) : 0;
    ui->searchDownButton->setEnabled(false);
    ui->searchUpButton->setEnabled(false);
    if (m_searchCount < 0) {
        qWarning() << "ChatDialog::on_searchLineEdit_returnPressed - failed to search by Database";
        return;
    }
    if (m_searchCount == 0) {
        qDebug() << "ChatDialog::on_searchLineEdit_returnPressed - No search results found";
        return;
    }
    ui->searchUpButton->setEnabled(m_searchCount > 1);
    showMatch();
}

void ChatDialog::stepSearch(int delta)
{
    const int next = m_searchIndex + delta;
    if (next < 0 || next >= m_searchCount)
        return;
    clearHighlight();
    m_searchIndex = next;
    ui->searchUpButton->setEnabled(m_searchIndex + 1 < m_searchCount);
    ui->searchDownButton->setEnabled(m_searchIndex > 0);
    showMatch();
}

void ChatDialog::showMatch()
{
    const QString messageId = db()->searchTextChatMessageId(topic(), m_searchText, m_searchIndex);
    if (messageId.isEmpty()) {
        qDebug() << "ChatDialog::on_searchLineEdit_returnPressed - No search results found";
        m_searchTarget.clear();
        emit matchShown(QString());
        return;
    }
    m_searchTarget = messageId;
    loadTowardsMatch();
}

void ChatDialog::loadTowardsMatch()
{
    const QString messageId = m_searchTarget;
    if (messageId.isEmpty())
        return;
    if (!m_shownIds.contains(messageId)) {
        // Every older page up to the match in one go: the view makes no item and lays nothing
        // out until the last one is in, so the cost is the rows', not the pages'.
        MtChatWidget* view = ui->chatView;
        bool added = true;
        m_batchPaging = true;
        view->beginBatch();
        // The match is a stored chat: the store's pages reach it, the server is not asked. The
        // pages up to it come in one read; a chat stored meanwhile, or a failed count, leaves
        // the rest to page-by-page reads.
        DBChatRoom room(db());
        room.setTopic(topic());
        const int missing = room.chatsAhead(messageId) + 1 - shownChatCount();
        if (missing > 0)
            addOlderPage((missing + ChatRules::kPageSize - 1) / ChatRules::kPageSize);
        while (added && !m_shownIds.contains(messageId)) {
            const int before = shownChatCount();
            addOlderPage();
            added = shownChatCount() > before;
        }
        view->endBatch();
        m_batchPaging = false;
    }
    m_searchTarget.clear();
    MtChatBaseItem* item =
        m_shownIds.contains(messageId) ? ui->chatView->showMessage(messageId) : nullptr;
    if (!item) {
        emit matchShown(QString());
        return;
    }
    item->setHighlight(m_searchText);
    m_highlightId = messageId;
    qDebug().noquote() << "ChatDialog::on_searchLineEdit_returnPressed get item :" << messageId;
    emit matchShown(messageId);
}
