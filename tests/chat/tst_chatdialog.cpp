// The chat window against the reference server over TLS and its broker: sending and receiving,
// history from the store and the server, the read marker, uploads with progress and failure,
// resending, search, export, invitation, leaving and the creation of a dummy room.
#include "chatwindowfixture.h"

#include "common/devserver.h"

#include "chat/chatdialog.h"
#include "chat/profileviewpopup.h"
#include "invite/membersdialog.h"
#include "session/mtsession.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbmtdata.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/mtdata.h"
#include "store/unreadcounts.h"
#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatentry.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtloadingwidget.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtsearchlineedit.h"

#include <QApplication>
#include <QJsonDocument>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

using namespace chatfixture;

namespace {
// A publish of the window as the broker got it.
struct Sent
{
    int type = 0;
    int contentType = 0;
    QString contents;
    bool operator==(const Sent& o) const
    {
        return type == o.type && contentType == o.contentType && contents == o.contents;
    }
};

// One row of the conversation: a chat's id, or the read marker.
struct Row
{
    QString messageId;
    bool marker = false;
    bool operator==(const Row& o) const { return messageId == o.messageId && marker == o.marker; }
};

struct SearchStep
{
    QString highlighted;
    bool up = false;
    bool down = false;
    bool operator==(const SearchStep& o) const
    {
        return highlighted == o.highlighted && up == o.up && down == o.down;
    }
};
// A search match as the view shows it: highlighted, wholly in view, between the chats stored
// next to it, and the rows in view as tall as their items.
struct FarMatch
{
    QString highlighted;
    QString itemHighlight;
    bool whole = false;
    QString above;      // the chat shown next above, empty when none
    QString below;      // the chat shown next below, empty when none
    int misfitRows = 0; // rows in view whose height is not their item's

    bool operator==(const FarMatch& o) const
    {
        return highlighted == o.highlighted && itemHighlight == o.itemHighlight &&
               whole == o.whole && above == o.above && below == o.below &&
               misfitRows == o.misfitRows;
    }
};
// The read marker as the view shows it: its top in the viewport, whether it is whole in view,
// the chats shown next above and below it, and the rows carrying an item more than a page of
// chats away from it.
struct MarkerSeen
{
    int top = -1;
    bool whole = false;
    QString above;
    QString below;
    int farItems = -1;

    bool operator==(const MarkerSeen& o) const
    {
        return top == o.top && whole == o.whole && above == o.above && below == o.below &&
               farItems == o.farItems;
    }
};

// Another member's chat arriving in an open window: the full layouts its handling did, whether
// the view is at its bottom afterwards, whether the new-message bar shows, the newest row's chat
// and how far the view moved.
struct Arrival
{
    int layouts = -1;
    bool atBottom = false;
    bool bar = false;
    QString newest;
    int moved = -1;

    bool operator==(const Arrival& o) const
    {
        return layouts == o.layouts && atBottom == o.atBottom && bar == o.bar &&
               newest == o.newest && moved == o.moved;
    }
};
} // namespace

Q_DECLARE_METATYPE(Sent)
namespace QTest {
template <>
char* toString(const Sent& s)
{
    return qstrdup(qPrintable(QStringLiteral("Sent(type=%1 contentType=%2 contents=%3)")
                                  .arg(s.type)
                                  .arg(s.contentType)
                                  .arg(s.contents.left(300))));
}
template <>
char* toString(const Row& r)
{
    return qstrdup(qPrintable(r.marker ? QStringLiteral("Row(marker)")
                                       : QStringLiteral("Row(%1)").arg(r.messageId)));
}
template <>
char* toString(const SearchStep& s)
{
    return qstrdup(qPrintable(
        QStringLiteral("SearchStep(%1 up=%2 down=%3)").arg(s.highlighted).arg(s.up).arg(s.down)));
}
template <>
char* toString(const MarkerSeen& m)
{
    return qstrdup(qPrintable(QStringLiteral("MarkerSeen(top=%1 whole=%2 above=%3 below=%4 far=%5)")
                                  .arg(m.top)
                                  .arg(m.whole)
                                  .arg(m.above, m.below)
                                  .arg(m.farItems)));
}
template <>
char* toString(const Arrival& a)
{
    return qstrdup(
        qPrintable(QStringLiteral("Arrival(layouts=%1 atBottom=%2 bar=%3 newest=%4 moved=%5)")
                       .arg(a.layouts)
                       .arg(a.atBottom)
                       .arg(a.bar)
                       .arg(a.newest)
                       .arg(a.moved)));
}
template <>
char* toString(const FarMatch& m)
{
    return qstrdup(
        qPrintable(QStringLiteral("FarMatch(%1 highlight=%2 whole=%3 above=%4 below=%5 misfit=%6)")
                       .arg(m.highlighted, m.itemHighlight)
                       .arg(m.whole)
                       .arg(m.above, m.below)
                       .arg(m.misfitRows)));
}
} // namespace QTest

class TestChatDialog : public ChatWindowFixture
{
    Q_OBJECT
private:
    // `count` confirmed chats of the room in the store, one a second, oldest first; their ids.
    // With `lengths` above one, chat i holds the text i % lengths + 1 times.
    QStringList storeChats(const QString& topic, int count, const QString& text = "stored",
                           const QSet<int>& needles = {}, int lengths = 1)
    {
        QStringList ids;
        const qint64 start = QDateTime::currentMSecsSinceEpoch() - count * 1000;
        for (int i = 0; i < count; ++i) {
            DBChat chat(db());
            chat.setTopic(topic);
            chat.setMsgId(QStringLiteral("t-%1-%2").arg(roomId(topic)).arg(start + i * 1000));
            chat.setMsgType(1);
            chat.setSenderId(i % 2 ? kMe : 1002);
            chat.setMsgTime(start + i * 1000);
            chat.setContent(1, QStringLiteral("%1 %2%3")
                                   .arg(text.repeated(i % lengths + 1))
                                   .arg(i)
                                   .arg(needles.contains(count - 1 - i) ? " needle" : ""));
            chat.setMsgState(1);
            chat.setMsgRead(true);
            chat.insertOrUpdate();
            ids << chat.msgId();
        }
        return ids;
    }
    static FarMatch farMatchSeen(const ChatDialog& dialog)
    {
        MtChatWidget* view = dialog.chatView();
        MtChatBaseItem* item = view->findItem(dialog.highlightedMessageId());
        if (!item)
            return {};
        const QRect rect = view->visualItemRect(item->listItem());
        const QRect port = view->viewport()->rect();
        const int at = view->row(item->listItem());
        FarMatch seen{dialog.highlightedMessageId(), item->highlight(),
                      port.contains(rect),           chatIdFrom(*view, at - 1, -1),
                      chatIdFrom(*view, at + 1, 1),  0};
        for (int row = 0; row < view->count(); ++row) {
            const QRect at = view->visualItemRect(view->item(row));
            MtChatBaseItem* inView = at.intersects(port) ? view->chatItem(row) : nullptr;
            if (inView && inView->sizeHint().height() != at.height())
                ++seen.misfitRows;
        }
        return seen;
    }
    static MarkerSeen markerSeen(const ChatDialog& dialog)
    {
        MtChatWidget* view = dialog.chatView();
        int at = -1;
        for (int row = 0; row < view->count() && at < 0; ++row) {
            const MtChatEntryData data = view->rowData(row);
            if (data.itemType == MtChatBaseItem::ItemType_Alarm && data.messageId.isEmpty())
                at = row;
        }
        if (at < 0)
            return {};
        // Farther than a page of chats, a row is far from what the view shows.
        constexpr int kFar = 50;
        const QRect port = view->viewport()->rect();
        const QRect rect = view->visualItemRect(view->item(at));
        MarkerSeen seen{rect.top(), port.contains(rect), chatIdFrom(*view, at - 1, -1),
                        chatIdFrom(*view, at + 1, 1), 0};
        for (int row = 0; row < view->count(); ++row) {
            const auto* entry = static_cast<const MtChatEntry*>(view->item(row));
            if (entry->widget() && qAbs(row - at) > kFar)
                ++seen.farItems;
        }
        return seen;
    }
    // The message id of the first chat row from `row` on in direction `step` (separators and
    // notices passed over); empty when none.
    static QString chatIdFrom(const MtChatWidget& view, int row, int step)
    {
        for (; row >= 0 && row < view.count(); row += step) {
            const MtChatEntryData data = view.rowData(row);
            const bool chat = data.itemType != MtChatBaseItem::ItemType_Date &&
                              data.itemType != MtChatBaseItem::ItemType_Alarm;
            if (chat && !data.messageId.isEmpty())
                return data.messageId;
        }
        return QString();
    }
    static QList<Row> rows(const ChatDialog& dialog)
    {
        QList<Row> out;
        MtChatWidget* view = dialog.chatView();
        for (int i = 0; i < view->count(); ++i) {
            const MtChatEntryData row = view->rowData(i);
            const bool marker =
                row.itemType == MtChatBaseItem::ItemType_Alarm && row.messageId.isEmpty();
            if (marker || !row.messageId.isEmpty())
                out.append({row.messageId, marker});
        }
        return out;
    }
    static QList<Row> chatRows(const QStringList& ids)
    {
        QList<Row> out;
        for (const QString& id : ids)
            out.append({id, false});
        return out;
    }
    // The rows of these chats with the read marker above the `markerAt` newest (-1: none).
    static QList<Row> markedRows(const QStringList& ids, int markerAt)
    {
        QList<Row> out = chatRows(ids);
        if (markerAt >= 0)
            out.insert(out.size() - markerAt, Row{QString(), true});
        return out;
    }
    QVector<Sent> sentSince(qint64 seq, const QString& topic)
    {
        QVector<Sent> out;
        for (const DevPublished& p : m_server.published(seq)) {
            // Chats and room notices; the read enter and leave of the window's activation are
            // not what these tests look at.
            if (p.topic == topic && p.type >= 1 && p.type <= 5 && p.type != 2)
                out.append({p.type, p.contentType, p.contents});
        }
        return out;
    }
    // The message ids of everything published to the room after `seq`.
    QStringList publishedIds(qint64 seq, const QString& topic)
    {
        QStringList ids;
        for (const DevPublished& p : m_server.published(seq)) {
            if (p.topic == topic && p.type == 1)
                ids << p.messageId;
        }
        return ids;
    }
    static void typeAndReturn(ChatDialog& dialog, const QString& text)
    {
        QPlainTextEdit* box = inputBox(dialog);
        box->setPlainText(text);
        QTest::keyClick(box, Qt::Key_Return);
    }
    static QString boxText(ChatDialog& dialog) { return inputBox(dialog)->toPlainText(); }
    // The next question box the window opens is answered yes.
    static void acceptNextQuestion()
    {
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<MtMessageDialog*>(QApplication::activeModalWidget());
            QVERIFY(box);
            box->accept();
        });
    }
    // Opens the room menu and picks the entry of that text; false when there is none.
    static bool triggerMenuEntry(ChatDialog& dialog, const QString& text)
    {
        dialog.findChild<QToolButton*>(QStringLiteral("menuButton"))->click();
        QMenu* menu = dialog.findChild<QMenu*>();
        const QList<QAction*> actions = menu ? menu->actions() : QList<QAction*>();
        for (QAction* action : actions) {
            if (action->text() == text) {
                menu->close();
                action->trigger();
                return true;
            }
        }
        return false;
    }
    // A drag that enters the widget and is dropped on it, as the desktop delivers one.
    static void drop(QWidget* target, QMimeData* mime)
    {
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
    }
    qint64 requestCount(const QString& prefix, qint64 since)
    {
        return m_server.requests(prefix, since).size();
    }

private slots:
    void initTestCase() { logIn(QStringLiteral("chat-pc")); }
    void cleanup()
    {
        m_server.clearFault();
        m_server.setRate(0);
        m_windows.open.clear();
    }

    // Return sends the text as it is; its echo settles the bubble and the stored chat.
    void sendText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QStringLiteral("hello");
        QTest::newRow("markup and a link") << QStringLiteral("<b>hi</b> https://example.org/");
        QTest::newRow("Korean") << QStringLiteral("안녕하세요");
        QTest::newRow("250 characters") << QString(250, QLatin1Char('y'));
        QTest::newRow("line breaks kept") << QStringLiteral("one\ntwo");
    }
    void sendText()
    {
        QFETCH(QString, text);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const qint64 seq = m_server.lastPublishedSeq();
        typeAndReturn(*dialog, text);
        QVERIFY(waitUntil([&] { return !sentSince(seq, room.topic()).isEmpty(); }));
        QCOMPARE(sentSince(seq, room.topic()), (QVector<Sent>{{1, 1, text}}));
        const QString id = newestOwnId(room.topic());
        waitUntil([&] { return bubble(*dialog, id) == Bubble{16, 1}; });
        QCOMPARE(bubble(*dialog, id), (Bubble{16, 1}));
        QCOMPARE(boxText(*dialog), QString());
    }

    // A text above 250 characters goes as a text file; the chat names the file and a preview.
    void sendLongText()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const qint64 seq = m_server.lastPublishedSeq();
        const qint64 req = m_server.lastRequestSeq();
        typeAndReturn(*dialog, QString(251, QLatin1Char('z')));
        QVERIFY(waitUntil([&] { return !sentSince(seq, room.topic()).isEmpty(); }));
        const QVector<Sent> sent = sentSince(seq, room.topic());
        const QJsonObject contents =
            QJsonDocument::fromJson(sent.value(0).contents.toUtf8()).object();
        QCOMPARE(sent.value(0).contentType, 4);
        QCOMPARE(contents.value("preview_text").toString(),
                 QString(247, QLatin1Char('z')) + QStringLiteral("..."));
        QCOMPARE(requestCount("/rest/file/chat", req), 1);
    }

    // A second Return within a second sends nothing and leaves the text as typed (no line
    // break); the button still sends it.
    void tooFastKey()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const qint64 seq = m_server.lastPublishedSeq();
        typeAndReturn(*dialog, QStringLiteral("first"));
        typeAndReturn(*dialog, QStringLiteral("second"));
        const QString kept = boxText(*dialog);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("sendButton")),
                          Qt::LeftButton);
        QVERIFY(waitUntil([&] { return sentSince(seq, room.topic()).size() >= 2; }));
        QCOMPARE(kept, QStringLiteral("second"));
        QCOMPARE(sentSince(seq, room.topic()), (QVector<Sent>{{1, 1, QStringLiteral("first")},
                                                              {1, 1, QStringLiteral("second")}}));
        QCOMPARE(dialog->findChildren<MtMessageDialog*>().size(), 1);
    }

    // A syllable still being composed goes out with the text.
    void returnCommitsComposition()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QPlainTextEdit* box = inputBox(*dialog);
        box->setPlainText(QStringLiteral("안녕"));
        box->moveCursor(QTextCursor::End);
        QInputMethodEvent compose(QStringLiteral("하"), {});
        QCoreApplication::sendEvent(box, &compose);
        const qint64 seq = m_server.lastPublishedSeq();
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(waitUntil([&] { return !sentSince(seq, room.topic()).isEmpty(); }));
        QCOMPARE(sentSince(seq, room.topic()), (QVector<Sent>{{1, 1, QStringLiteral("안녕하")}}));
        QCOMPARE(boxText(*dialog), QString());
    }

    // Another member's chat routed by the session lands in the window, settled.
    void receive()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const qint64 other = room.members().section(',', 0, 0).toLongLong();
        const QJsonObject answer = m_server
                                       .control("POST", "/control/chat",
                                                QJsonObject{{"roomId", roomId(room.topic())},
                                                            {"userId", other},
                                                            {"text", "from the other side"}})
                                       .toObject();
        const QString id = answer.value("messageId").toString();
        QVERIFY(waitUntil([&] { return dialog->chatView()->findItem(id) != nullptr; }));
        MtChatBaseItem* item = dialog->chatView()->findItem(id);
        QCOMPARE(item->content(), QStringLiteral("from the other side"));
        QCOMPARE(item->senderId(), int(other));
        QCOMPARE(item->state(), 16);
    }

    // The newest page opens; each top reached adds the next older page from the store.
    void storePaging_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("tops");
        QTest::addColumn<int>("shown");
        QTest::newRow("30 stored") << 30 << 0 << 30;
        QTest::newRow("120 stored, opened") << 120 << 0 << 50;
        QTest::newRow("one page back") << 120 << 1 << 100;
        QTest::newRow("two pages back") << 120 << 2 << 120;
        QTest::newRow("past the oldest") << 120 << 4 << 120;
    }
    void storePaging()
    {
        QFETCH(int, stored);
        QFETCH(int, tops);
        QFETCH(int, shown);
        const DBChatRoom room = newRoom();
        const QStringList ids = storeChats(room.topic(), stored);
        auto dialog = open(room);
        for (int i = 0; i < tops; ++i)
            emit dialog->chatView()->movedToTop();
        QCOMPARE(rows(*dialog), chatRows(ids.mid(stored - shown)));
    }

    // The read marker stands above the oldest unread chat when more than nine are unread, on
    // the page that holds it; it is no chat, so paging past it skips none.
    void readMarker_data()
    {
        QTest::addColumn<int>("unread");
        QTest::addColumn<int>("tops");
        QTest::addColumn<int>("markerAt"); // chats below the marker; -1: no marker
        QTest::addColumn<int>("shown");
        QTest::newRow("9 unread") << 9 << 0 << -1 << 50;
        QTest::newRow("12 unread") << 12 << 0 << 12 << 50;
        QTest::newRow("60 unread, second page at first show") << 60 << 0 << 60 << 100;
        QTest::newRow("60 unread, paged on") << 60 << 1 << 60 << 120;
    }
    void readMarker()
    {
        QFETCH(int, unread);
        QFETCH(int, tops);
        QFETCH(int, markerAt);
        QFETCH(int, shown);
        const DBChatRoom room = newRoom();
        const QStringList ids = storeChats(room.topic(), 120);
        unreadCounts().set(room.topic(), unread);
        auto dialog = open(room);
        for (int i = 0; i < tops; ++i)
            emit dialog->chatView()->movedToTop();
        QCOMPARE(rows(*dialog), markedRows(ids.mid(120 - shown), markerAt));
    }

    // A room with many unread chats opens at its read marker: on top of the view and whole, the
    // first unread chat below it, the last read one above, and no items made for rows far from
    // it; it stays so while the rows around it take their heights.
    void manyUnread_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("unread");
        QTest::addColumn<int>("lengths");
        QTest::newRow("1,230 of 2,000, texts of one to five lines") << 2000 << 1230 << 5;
        QTest::newRow("101 of 400, just past two pages") << 400 << 101 << 1;
        QTest::newRow("every one of 600") << 600 << 600 << 3;
    }
    void manyUnread()
    {
        QFETCH(int, stored);
        QFETCH(int, unread);
        QFETCH(int, lengths);
        const DBChatRoom room = newRoom();
        QVERIFY(db()->database().transaction());
        const QStringList ids =
            storeChats(room.topic(), stored, "words that wrap in a bubble", {}, lengths);
        QVERIFY(db()->database().commit());
        unreadCounts().set(room.topic(), unread);
        auto dialog = open(room);
        const MarkerSeen expected{0, true, ids.value(stored - unread - 1),
                                  ids.value(stored - unread), 0};
        QCOMPARE(markerSeen(*dialog), expected);
        QTRY_COMPARE(markerSeen(*dialog), expected);
    }

    // Another member's chat arriving while the view is at its bottom keeps it there; while older
    // chats are read it leaves the view where it is and shows the new-message bar. Either way
    // the rows are laid out once.
    void arrival_data()
    {
        QTest::addColumn<bool>("scrolledUp");
        QTest::addColumn<int>("chats");
        QTest::addColumn<int>("layouts");
        QTest::newRow("at the bottom") << false << 1 << 1;
        QTest::newRow("at the bottom, three in one turn") << false << 3 << 3;
        QTest::newRow("scrolled up") << true << 1 << 0;
        QTest::newRow("scrolled up, three in one turn") << true << 3 << 0;
    }
    void arrival()
    {
        QFETCH(bool, scrolledUp);
        QFETCH(int, chats);
        QFETCH(int, layouts);
        const DBChatRoom room = newRoom();
        storeChats(room.topic(), 120, "words that wrap in a bubble", {}, 4);
        auto dialog = open(room);
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        MtChatWidget* view = dialog->chatView();
        QScrollBar* bar = view->verticalScrollBar();
        bar->setValue(scrolledUp ? bar->maximum() / 2 : bar->maximum());
        view->isScrolledToBottom();
        const int layoutsBefore = view->layoutCount();
        const int valueBefore = bar->value();
        QString newest;
        for (int i = 0; i < chats; ++i) {
            DBChat chat(db());
            chat.setTopic(room.topic());
            chat.setMsgId(QStringLiteral("arrived-%1-%2").arg(roomId(room.topic())).arg(i));
            chat.setMsgType(1);
            chat.setSenderId(1002);
            chat.setMsgTime(QDateTime::currentMSecsSinceEpoch() + i);
            chat.setContent(1, QStringLiteral("just arrived %1").arg(i));
            chat.setMsgState(1);
            dialog->addChat(chat);
            newest = chat.msgId();
        }
        const Arrival seen{view->layoutCount() - layoutsBefore, view->isScrolledToBottom(),
                           view->newMessageButton()->isVisible(),
                           view->rowData(view->count() - 1).messageId,
                           scrolledUp ? bar->value() - valueBefore : 0};
        QCOMPARE(seen, (Arrival{layouts, !scrolledUp, scrolledUp, newest, 0}));
    }

    // With the server-history option on, an empty store pages back through the server until
    // it answers a short page; then nothing more is asked.
    void serverPaging()
    {
        DBEditor editor;
        m_session->mtData()->setServerHistoryOption(editor, true);
        QVERIFY(m_session->mtData()->applyCommit(editor, db()));
        const DBChatRoom room = newRoom();
        DevHistoryRequest history;
        history.roomId = roomId(room.topic());
        history.count = 120;
        QCOMPARE(m_server.appendHistory(history).added, 120);
        const qint64 req = m_server.lastRequestSeq();
        auto dialog = open(room);
        QVERIFY(waitUntil([&] { return rows(*dialog).size() == 50; }));
        emit dialog->chatView()->movedToTop();
        QVERIFY(waitUntil([&] { return rows(*dialog).size() == 100; }));
        emit dialog->chatView()->movedToTop();
        QVERIFY(waitUntil([&] { return rows(*dialog).size() == 120; }));
        // Wait for the loading overlay of the third answer to go.
        auto* loading = dialog->chatView()->findChild<MtLoadingWidget*>();
        QVERIFY(waitUntil([&] { return !loading->isVisible(); }));
        emit dialog->chatView()->movedToTop();
        QCOMPARE(loading->isVisible(), false);
        QCOMPARE(requestCount("/rest/chatt/room/savechatlist", req), 3);
        QList<DBChat> all;
        db()->exportChatList(all, room.topic());
        QStringList storedIds;
        for (const DBChat& chat : all)
            storedIds << chat.msgId();
        QCOMPARE(rows(*dialog), chatRows(storedIds));
        m_session->mtData()->setServerHistoryOption(editor, false);
        QVERIFY(m_session->mtData()->applyCommit(editor, db()));
    }

    // A file goes up with visible progress and is published once uploaded; a failed upload
    // shows the resend button and keeps the chat as failed, and resending sends it.
    void upload_data()
    {
        QTest::addColumn<QString>("faultPath");
        QTest::addColumn<Bubble>("afterUpload");
        QTest::addColumn<int>("published");
        QTest::newRow("uploaded") << QStringLiteral("/nowhere") << Bubble{16, 1} << 1;
        QTest::newRow("server error") << QStringLiteral("/rest/file/chat") << Bubble{1, 5} << 0;
    }
    void upload()
    {
        QFETCH(QString, faultPath);
        QFETCH(Bubble, afterUpload);
        QFETCH(int, published);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QVERIFY(m_server.fail(DevFault::error(faultPath, 500)));
        const qint64 seq = m_server.lastPublishedSeq();
        dialog->uploadFiles({writeFile("doc.pdf", QByteArray(20000, 'x'))}, false);
        const QString id = newestOwnId(room.topic());
        waitUntil([&] { return bubble(*dialog, id) == afterUpload; });
        QCOMPARE(bubble(*dialog, id), afterUpload);
        QCOMPARE(sentSince(seq, room.topic()).size(), published);
    }
    // Under a rate limit the bubble's bar shows the upload moving before it is whole.
    void uploadProgress()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QVERIFY(m_server.setRate(262144, "/rest/file/chat"));
        dialog->uploadFiles({writeFile("big.pdf", QByteArray(1000000, 'x'))}, false);
        const QString id = newestOwnId(room.topic());
        QList<int> progress;
        auto* bar = dialog->chatView()->findItem(id)->findChild<QProgressBar*>();
        connect(bar, &QProgressBar::valueChanged, this, [&](int v) { progress << v; });
        QVERIFY(waitUntil([&] { return storedState(room.topic(), id) == 1; }));
        QCOMPARE(
            std::any_of(progress.begin(), progress.end(), [](int v) { return v > 0 && v < 100; }),
            true);
        QCOMPARE(progress.value(progress.size() - 1), 100);
    }
    void resendAfterFailedUpload()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QVERIFY(m_server.fail(DevFault::error("/rest/file/chat", 500)));
        dialog->uploadFiles({writeFile("retry.txt", QByteArray(2000, 'x'))}, false);
        const QString id = newestOwnId(room.topic());
        waitUntil([&] { return bubble(*dialog, id) == Bubble{1, 5}; });
        QCOMPARE(bubble(*dialog, id), (Bubble{1, 5}));
        m_server.clearFault();
        const qint64 seq = m_server.lastPublishedSeq();
        emit dialog->chatView()->resendClicked(id);
        waitUntil([&] { return bubble(*dialog, id) == Bubble{16, 1}; });
        QCOMPARE(bubble(*dialog, id), (Bubble{16, 1}));
        const QVector<Sent> sent = sentSince(seq, room.topic());
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.value(0).contentType, 4);
    }

    // Search counts text chats only, steps from the newest match back, loading older pages
    // until the match is shown.
    void searchStepping()
    {
        const DBChatRoom room = newRoom();
        // Matches 3, 70 and 140 chats back from the newest.
        const QStringList ids = storeChats(room.topic(), 160, "line", {3, 70, 140});
        DBChat picture(db());
        picture.setTopic(room.topic());
        picture.setMsgId(QStringLiteral("pic-needle"));
        picture.setMsgType(1);
        picture.setSenderId(1002);
        picture.setMsgTime(QDateTime::currentMSecsSinceEpoch());
        picture.setImage("/files/needle_t.png", "/files/needle.png", "needle.png", 4, 4);
        picture.setContent(2, picture.toMessage());
        picture.setMsgState(1);
        QVERIFY(picture.insertOrUpdate());
        auto dialog = open(room);
        dialog->findChild<QToolButton*>(QStringLiteral("searchButton"))->click();
        auto* up = dialog->findChild<QToolButton*>(QStringLiteral("searchUpButton"));
        auto* down = dialog->findChild<QToolButton*>(QStringLiteral("searchDownButton"));
        auto* field = dialog->findChild<MtSearchLineEdit*>(QStringLiteral("searchLineEdit"));
        QSignalSpy shown(dialog.get(), &ChatDialog::matchShown);
        QList<SearchStep> steps;
        // Each step ends with the match shown (older pages may be loaded first).
        const auto record = [&] {
            waitUntil([&] { return shown.count() > steps.size(); });
            steps.append({dialog->highlightedMessageId(), up->isEnabled(), down->isEnabled()});
        };
        emit field->returnPressed(QStringLiteral("needle"));
        record();
        up->click();
        record();
        emit field->returnPressed(QStringLiteral("needle"));
        record();
        down->click();
        record();
        const QList<SearchStep> expected{{ids.value(156), true, false},
                                         {ids.value(89), true, true},
                                         {ids.value(19), false, true},
                                         {ids.value(89), true, true}};
        QCOMPARE(steps, expected);
    }

    void farMatch_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("back");
        QTest::newRow("a dozen pages back") << 700 << 640;
        QTest::newRow("the oldest chat") << 400 << 399;
        QTest::newRow("next to the newest") << 400 << 1;
        QTest::newRow("the newest") << 30 << 0;
    }

    // A match is shown highlighted and whole, between the chats stored next to it, as soon as it
    // is reported, and stays so once the rows around it have taken their bubbles' heights.
    void farMatch()
    {
        QFETCH(int, stored);
        QFETCH(int, back);
        const DBChatRoom room = newRoom();
        // Texts of one to five lines of words, so that rows differ in height.
        const QStringList ids =
            storeChats(room.topic(), stored, "a few words that wrap in a bubble", {back}, 5);
        auto dialog = open(room);
        dialog->resize(420, 520);
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->findChild<QToolButton*>(QStringLiteral("searchButton"))->click();
        auto* field = dialog->findChild<MtSearchLineEdit*>(QStringLiteral("searchLineEdit"));
        QSignalSpy shown(dialog.get(), &ChatDialog::matchShown);
        emit field->returnPressed(QStringLiteral("needle"));
        QVERIFY(waitUntil([&] { return shown.count() == 1; }));
        const int at = stored - 1 - back;
        QCOMPARE(farMatchSeen(*dialog).whole, true);
        QTRY_COMPARE(farMatchSeen(*dialog), (FarMatch{ids.value(at), QStringLiteral("needle"), true,
                                                      ids.value(at - 1), ids.value(at + 1), 0}));
    }

    // The export holds every stored chat, as UTF-8 with a byte order mark and CR LF.
    void exportConversation()
    {
        const DBChatRoom room = newRoom();
        storeChats(room.topic(), 3, "export 😀");
        auto dialog = open(room);
        const QString path = m_files.filePath("export.txt");
        QCOMPARE(dialog->exportConversationTo(path), QString());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n");
        QCOMPARE(bytes.left(3), QByteArray("\xEF\xBB\xBF"));
        QCOMPARE(lines.size(), 3 + 1 + 3 + 1);
        QCOMPARE(lines.value(0), "Chat with " + room.roomName() + " in Veltri Talk");
        QCOMPARE(lines.value(4).endsWith("] export 😀 0"), true);
    }

    // An empty invitation sends nothing; people added to a one-to-many room are invited on the
    // server, announced on the broker and shown in the room.
    void invite()
    {
        const DBChatRoom room = newGroupRoom();
        auto dialog = open(room);
        QSignalSpy invited(dialog.get(), &ChatDialog::roomInvited);
        const qint64 req = m_server.lastRequestSeq();
        const qint64 seq = m_server.lastPublishedSeq();
        const qint64 newcomer = m_server.user("user030").value("userId").toVariant().toLongLong();
        dialog->inviteMembers({});
        dialog->inviteMembers({newcomer});
        QVERIFY(invited.wait(30000));
        QCOMPARE(requestCount("/rest/chatt/room/member", req), 1);
        QCOMPARE(dialog->chatRoom().members().split(',').contains(QString::number(newcomer)), true);
        QVERIFY(waitUntil([&] { return !sentSince(seq, room.topic()).isEmpty(); }));
        QCOMPARE(sentSince(seq, room.topic()).value(0).type, 4);
    }

    // A person clicked in the members list opens the profile card of that person.
    void memberProfileCard()
    {
        const DBChatRoom room = newGroupRoom();
        auto dialog = open(room);
        QVERIFY(triggerMenuEntry(*dialog, QStringLiteral("View Members")));
        auto* members = dialog->findChild<MembersDialog*>();
        QVERIFY(members);
        const qint64 memberId = room.members().section(',', 0, 0).toLongLong();
        DBUser member;
        QVERIFY(db()->findUser(memberId, member));
        emit members->memberClicked(int(memberId));
        auto* card = dialog->findChild<ProfileViewPopup*>();
        QVERIFY(card);
        const QList<QLabel*> labels = card->findChildren<QLabel*>();
        QStringList texts;
        for (const QLabel* label : labels)
            texts << label->text();
        QCOMPARE(texts.contains(member.userName()), true);
    }

    // Leaving publishes the leave first, then asks the server; the room goes from the store
    // and its saved geometry from the settings.
    void leave()
    {
        const DBChatRoom room = newGroupRoom();
        auto dialog = open(room);
        QSignalSpy left(dialog.get(), &ChatDialog::roomLeft);
        const qint64 seq = m_server.lastPublishedSeq();
        const qint64 req = m_server.lastRequestSeq();
        acceptNextQuestion();
        QVERIFY(triggerMenuEntry(*dialog, QStringLiteral("Leave")));
        QVERIFY(left.wait(30000));
        QCOMPARE(sentSince(seq, room.topic()).value(0).type, 5);
        QCOMPARE(requestCount("/rest/chatt/room/member/", req), 1);
        QCOMPARE(db()->chatRoomExists(room.topic()), false);
        QCOMPARE(dialog->hasSavedGeometry(), false);
    }

    // The alarm switch is kept per room in the session and read again by the next window.
    void alarmSwitch_data()
    {
        QTest::addColumn<int>("clicks");
        QTest::addColumn<bool>("on");
        QTest::newRow("untouched") << 0 << true;
        QTest::newRow("switched off") << 1 << false;
        QTest::newRow("off and on again") << 2 << true;
    }
    void alarmSwitch()
    {
        QFETCH(int, clicks);
        QFETCH(bool, on);
        const DBChatRoom room = newRoom();
        {
            auto dialog = open(room);
            for (int i = 0; i < clicks; ++i)
                dialog->findChild<QToolButton*>(QStringLiteral("alarmButton"))->click();
        }
        QCOMPARE(m_session->mtData()->isTopicAlarmOn(room.topic()), on);
        QCOMPARE(open(room)->alarmOn(), on);
    }

    // Position and size come back per room; a place on no screen keeps only the size; a left
    // room forgets them.
    void geometryRestored()
    {
        const DBChatRoom room = newRoom();
        const QRect rect(40, 30, 380, 420);
        open(room)->setGeometry(rect);
        auto reopened = open(room);
        QCOMPARE(reopened->hasSavedGeometry(), true);
        QCOMPARE(reopened->geometry(), rect);
        reopened->removeSaveGeometry();
        reopened.reset();
        QCOMPARE(open(room)->hasSavedGeometry(), false);
    }
    void geometryOffScreenKeepsSize()
    {
        const DBChatRoom room = newRoom();
        open(room)->setGeometry(QRect(30000, 30000, 390, 410));
        QCOMPARE(open(room)->size(), QSize(390, 410));
    }

    // Files dropped into a dummy room wait for the room to be made, then go to it.
    void dropIntoDummyRoom()
    {
        ChatDialog dialog(m_session.get(), newDummyRoom());
        dialog.show();
        QSignalSpy created(&dialog, &ChatDialog::roomCreated);
        const qint64 seq = m_server.lastPublishedSeq();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(writeFile("dropped.txt", QByteArray(3000, 'x')))});
        drop(dialog.chatView()->viewport(), &mime);
        QCOMPARE(dialog.topic(), QString());
        QVERIFY(created.wait(30000));
        QVERIFY(waitUntil([&] { return sentSince(seq, dialog.topic()).size() >= 2; }));
        const QVector<Sent> sent = sentSince(seq, dialog.topic());
        QCOMPARE(sent.value(0).type, 3);
        QCOMPARE(sent.value(1).contentType, 4);
        QCOMPARE(sent.size(), 2);
    }

    // A chat left unconfirmed when the broker connection dropped goes out again with its own
    // message id once the messaging session is back.
    void resendWhenMessagingReturns()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        DBChat pending(db());
        pending.setTopic(room.topic());
        pending.setMsgId(m_session->messaging()->makeMessageId());
        pending.setMsgType(1);
        pending.setSenderId(kMe);
        pending.setMsgTime(QDateTime::currentMSecsSinceEpoch());
        pending.setContent(1, QStringLiteral("said while away"));
        pending.setMsgState(0);
        QVERIFY(pending.insertOrUpdate());
        QSignalSpy back(m_session.get(), &MtSession::messagingConnected);
        const qint64 seq = m_server.lastPublishedSeq();
        QCOMPARE(m_server.dropBroker(m_session->mtData()->clientId()), 1);
        QVERIFY(back.wait(60000));
        QVERIFY(waitUntil([&] { return !sentSince(seq, room.topic()).isEmpty(); }));
        QCOMPARE(publishedIds(seq, room.topic()), QStringList{pending.msgId()});
        QCOMPARE(sentSince(seq, room.topic()),
                 (QVector<Sent>{{1, 1, QStringLiteral("said while away")}}));
    }

    // Several sends in a dummy room create one room; the text goes once it exists.
    void dummyRoomCreatedOnce()
    {
        // People who installed the client and accept chats: those of a room made for them.
        ChatDialog dialog(m_session.get(), newDummyRoom());
        dialog.show();
        QSignalSpy created(&dialog, &ChatDialog::roomCreated);
        const qint64 req = m_server.lastRequestSeq();
        const qint64 seq = m_server.lastPublishedSeq();
        QPlainTextEdit* box = inputBox(dialog);
        auto* send = dialog.findChild<QPushButton*>(QStringLiteral("sendButton"));
        box->setPlainText(QStringLiteral("first words"));
        QTest::mouseClick(send, Qt::LeftButton);
        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY(created.wait(30000));
        m_windows.open.insert(dialog.topic());
        QVERIFY(waitUntil([&] { return sentSince(seq, dialog.topic()).size() >= 2; }));
        QCOMPARE(requestCount("/rest/chatt/room", req) - requestCount("/rest/chatt/room/", req), 1);
        const QVector<Sent> sent = sentSince(seq, dialog.topic());
        QCOMPARE(sent.value(0).type, 3);
        QCOMPARE(sent.value(1), (Sent{1, 1, QStringLiteral("first words")}));
        QCOMPARE(sent.size(), 2);
    }
};

QTEST_MAIN(TestChatDialog)
#include "tst_chatdialog.moc"
