// The chat window against the reference server over TLS: sending, history and the read marker,
// arrivals, search, export, the room menu, settings kept per room, resends and closing.
#include "chatwindowfixture.h"

#include "chat/chatrules.h"
#include "chat/profileviewpopup.h"
#include "invite/membersdialog.h"
#include "session/mtsession.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/mtdata.h"
#include "store/unreadcounts.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatentry.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtsearchlineedit.h"

#include <QApplication>
#include <QJsonDocument>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QToolButton>

namespace {
QStringList g_criticals;

void keepCriticals(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg)
        g_criticals << message;
}

// A text sent with Return: what the broker got, the echoed bubble and stored chat, the box.
struct Typed
{
    QVector<DevSent> sent;
    Bubble bubble;
    QString box;
    MT_TYPED(Typed, sent, bubble, box)
};
struct TypedRow
{
    QString text, composing, sent; // a syllable still being composed when Return is pressed
};

// One row of the conversation: a chat's id, or the read marker.
struct Row
{
    QString messageId;
    bool marker = false;
    MT_TYPED(Row, messageId, marker)
};
struct HistoryRow
{
    int stored = 0, unread = 0, tops = 0, markerAt = 0,
        shown = 0; // the view's top reached so many times; chats below the marker; -1: no marker
};

// After a search step: the highlighted chat back from the newest (-1: none), up and down usable.
struct SearchStep
{
    int back = -1;
    bool up = false, down = false;
    MT_TYPED(SearchStep, back, up, down)
};
struct SearchRow
{
    int stored = 0;
    QMap<int, QString> texts; // by chats back from the newest
    QString search;
    QStringList keys; // "return", "up" or "down"
    QVector<SearchStep> steps;
};

// A match as shown: highlighted, whole, its neighbours, rows in view not as tall as their items.
struct FarMatch
{
    QString highlighted, itemHighlight;
    bool whole = false;
    QString above, below;
    int misfitRows = 0;
    MT_TYPED(FarMatch, highlighted, itemHighlight, whole, above, below, misfitRows)
};
// The read marker as shown: its top, whole, its neighbours, rows with items a page away.
struct MarkerSeen
{
    int top = -1;
    bool whole = false;
    QString above, below;
    int farItems = -1;
    MT_TYPED(MarkerSeen, top, whole, above, below, farItems)
};
// Another member's chats arriving: layouts done, at the bottom, bar shown, newest row, moved by.
struct Arrival
{
    int layouts = -1;
    bool atBottom = false, bar = false;
    QString newest;
    int moved = -1;
    MT_TYPED(Arrival, layouts, atBottom, bar, newest, moved)
};
// An export file: the stored chats in it, and whether it holds a long text whole.
struct Exported
{
    int chats = 0;
    bool longTextWhole = false;
    MT_TYPED(Exported, chats, longTextWhole)
};
// What a room's next window reads back: the alarm switch (session, window) and geometry.
struct Kept
{
    bool alarmInSession = false, alarmOn = false;
    QSize size;
    bool placeKept = false;
    MT_TYPED(Kept, alarmInSession, alarmOn, size, placeKept)
};
} // namespace

Q_DECLARE_METATYPE(TypedRow)
Q_DECLARE_METATYPE(HistoryRow)
Q_DECLARE_METATYPE(SearchRow)
Q_DECLARE_METATYPE(Kept)

class TestChatDialog : public ChatWindowFixture
{
    Q_OBJECT
private:
    // The message id of the first chat row from `row` on in direction `step`; empty when none.
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
    static bool isMarker(const MtChatEntryData& row)
    {
        return row.itemType == MtChatBaseItem::ItemType_Alarm && row.messageId.isEmpty();
    }
    static FarMatch farMatchSeen(const ChatDialog& dialog)
    {
        MtChatWidget* view = dialog.chatView();
        MtChatBaseItem* item = view->findItem(dialog.highlightedMessageId());
        if (!item)
            return {};
        const QRect port = view->viewport()->rect();
        const int at = view->row(item->listItem());
        FarMatch seen{dialog.highlightedMessageId(),
                      item->highlight(),
                      port.contains(view->visualItemRect(item->listItem())),
                      chatIdFrom(*view, at - 1, -1),
                      chatIdFrom(*view, at + 1, 1),
                      0};
        for (int row = 0; row < view->count(); ++row) {
            const QRect rect = view->visualItemRect(view->item(row));
            MtChatBaseItem* inView = rect.intersects(port) ? view->chatItem(row) : nullptr;
            seen.misfitRows += inView && inView->sizeHint().height() != rect.height();
        }
        return seen;
    }
    static MarkerSeen markerSeen(const ChatDialog& dialog)
    {
        MtChatWidget* view = dialog.chatView();
        int at = -1;
        for (int row = 0; row < view->count() && at < 0; ++row)
            at = isMarker(view->rowData(row)) ? row : -1;
        if (at < 0)
            return {};
        const QRect port = view->viewport()->rect();
        const QRect rect = view->visualItemRect(view->item(at));
        MarkerSeen seen{rect.top(), port.contains(rect), chatIdFrom(*view, at - 1, -1),
                        chatIdFrom(*view, at + 1, 1), 0};
        for (int row = 0; row < view->count(); ++row) {
            const auto* entry = static_cast<const MtChatEntry*>(view->item(row));
            seen.farItems += entry->widget() && qAbs(row - at) > ChatRules::kPageSize;
        }
        return seen;
    }
    static QList<Row> rows(const ChatDialog& dialog)
    {
        QList<Row> out;
        MtChatWidget* view = dialog.chatView();
        for (int i = 0; i < view->count(); ++i) {
            const MtChatEntryData row = view->rowData(i);
            if (isMarker(row) || !row.messageId.isEmpty())
                out.append({row.messageId, isMarker(row)});
        }
        return out;
    }
    // The rows of these chats with the read marker above the `markerAt` newest (-1: none).
    static QList<Row> markedRows(const QStringList& ids, int markerAt)
    {
        QList<Row> out;
        for (const QString& id : ids)
            out.append({id, false});
        if (markerAt >= 0)
            out.insert(out.size() - markerAt, Row{QString(), true});
        return out;
    }
    // How many chats back from the newest the chat is; -1 when it is none of them.
    static int backOf(const QStringList& ids, const QString& id)
    {
        return ids.contains(id) ? ids.size() - 1 - ids.indexOf(id) : -1;
    }
    static QString boxText(ChatDialog& dialog) { return inputBox(dialog)->toPlainText(); }
    static void typeAndReturn(ChatDialog& dialog, const QString& text)
    {
        inputBox(dialog)->setPlainText(text);
        QTest::keyClick(inputBox(dialog), Qt::Key_Return);
    }
    // The next question box the window opens is answered yes.
    static void acceptNextQuestion()
    {
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<MtMessageDialog*>(QApplication::activeModalWidget());
            QVERIFY(box);
            box->accept();
        });
    }
    // Opens the room menu and picks the entry; false when the menu lacks it.
    static bool triggerMenuEntry(ChatDialog& dialog, ChatRules::RoomMenuEntry entry)
    {
        dialog.findChild<QToolButton*>(QStringLiteral("menuButton"))->click();
        QMenu* menu = dialog.findChild<QMenu*>();
        QList<QAction*> actions = menu ? menu->actions() : QList<QAction*>();
        actions.erase(std::remove_if(actions.begin(), actions.end(),
                                     [](QAction* a) { return a->isSeparator(); }),
                      actions.end());
        const int at = ChatRules::roomMenuEntries(dialog.chatRoom().type(), false).indexOf(entry);
        if (at < 0 || at >= actions.size())
            return false;
        menu->close();
        actions.at(at)->trigger();
        return true;
    }

private slots:
    void initTestCase() { logIn(QStringLiteral("chat-pc")); }
    void cleanup() { m_login->windows.open.clear(); }

    // A text sent while the broker is down goes out with its own id once messaging is back.
    void resendWhenMessagingReturns()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QSignalSpy down(session(), &MtSession::messagingDisconnected);
        QSignalSpy back(session(), &MtSession::messagingConnected);
        const qint64 seq = m_server.lastPublishedSeq();
        QCOMPARE(m_server.dropBroker(session()->mtData()->clientId()), 1);
        QVERIFY(down.wait(30000));
        typeAndReturn(*dialog, QStringLiteral("said while away"));
        const QString id = newestOwnId(room.topic());
        QVERIFY(back.wait(60000));
        QVERIFY(waitUntil([&] { return storedState(room.topic(), id) == MsgStateConfirmed; }));
        QCOMPARE(m_server.publishedIds(seq, room.topic()), QStringList{id});
        QCOMPARE(m_server.sentSince(seq, room.topic()),
                 (QVector<DevSent>{{1, 1, QStringLiteral("said while away")}}));
    }

    // Return sends the text as it is; its echo settles the bubble and the stored chat.
    void sendText_data()
    {
        QTest::addColumn<TypedRow>("row");
        const QString limit(ChatRules::kTextLimit, QLatin1Char('y'));
        const QString markup = "<b>hi</b> https://example.org/";
        QTest::newRow("markup and a link") << TypedRow{markup, {}, markup};
        QTest::newRow("Korean") << TypedRow{"안녕하세요", {}, "안녕하세요"};
        QTest::newRow("at the limit") << TypedRow{limit, {}, limit};
        QTest::newRow("line breaks kept") << TypedRow{"one\ntwo", {}, "one\ntwo"};
        QTest::newRow("a syllable being composed goes with it") << TypedRow{"안녕", "하", "안녕하"};
    }
    void sendText()
    {
        QFETCH(TypedRow, row);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const qint64 seq = m_server.lastPublishedSeq();
        inputBox(*dialog)->setPlainText(row.text);
        inputBox(*dialog)->moveCursor(QTextCursor::End);
        QInputMethodEvent compose(row.composing, {});
        QCoreApplication::sendEvent(inputBox(*dialog), &compose);
        QTest::keyClick(inputBox(*dialog), Qt::Key_Return);
        QVERIFY(waitUntil([&] { return !m_server.sentSince(seq, room.topic()).isEmpty(); }));
        const QString id = newestOwnId(room.topic());
        waitUntil([&] { return bubble(*dialog, id).storedState == MsgStateConfirmed; });
        QCOMPARE(
            (Typed{m_server.sentSince(seq, room.topic()), bubble(*dialog, id), boxText(*dialog)}),
            (Typed{{{1, 1, row.sent}}, {MtChatItemState::Settled, MsgStateConfirmed}, {}}));
    }

    // A text above the limit goes up as a text file with a preview.
    void sendLongText()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const qint64 seq = m_server.lastPublishedSeq();
        const qint64 req = m_server.lastRequestSeq();
        const QString text(ChatRules::kTextLimit + 1, QLatin1Char('z'));
        typeAndReturn(*dialog, text);
        QVERIFY(waitUntil([&] { return !m_server.sentSince(seq, room.topic()).isEmpty(); }));
        const DevSent sent = m_server.sentSince(seq, room.topic()).value(0);
        QCOMPARE(sent.contentType, int(ContentTypeFile));
        QCOMPARE(QJsonDocument::fromJson(sent.contents.toUtf8())["preview_text"].toString(),
                 ChatRules::textPlan(text).preview);
        QCOMPARE(m_server.requests("/rest/file/chat", req).size(), 1);
    }

    // A second Return too soon keeps the text (no line break), tells why once; the button sends.
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
        QVERIFY(waitUntil([&] { return m_server.sentSince(seq, room.topic()).size() >= 2; }));
        QCOMPARE(kept, QStringLiteral("second"));
        QCOMPARE(
            m_server.sentSince(seq, room.topic()),
            (QVector<DevSent>{{1, 1, QStringLiteral("first")}, {1, 1, QStringLiteral("second")}}));
        QCOMPARE(dialog->findChildren<MtMessageDialog*>().size(), 1);
    }

    // Each top reached adds an older page; the marker stands above the oldest unread when enough
    // are unread, and paging past it skips no chat.
    void history_data()
    {
        QTest::addColumn<HistoryRow>("row");
        const int page = ChatRules::kPageSize;
        const int few = ChatRules::kMarkerMinUnread;
        QTest::newRow("less than a page") << HistoryRow{30, 0, 0, -1, 30};
        QTest::newRow("opened") << HistoryRow{120, 0, 0, -1, page};
        QTest::newRow("one page back") << HistoryRow{120, 0, 1, -1, 2 * page};
        QTest::newRow("past the oldest") << HistoryRow{120, 0, 4, -1, 120};
        QTest::newRow("few unread: no marker") << HistoryRow{120, few, 0, -1, page};
        QTest::newRow("one more unread") << HistoryRow{120, few + 1, 0, few + 1, page};
        QTest::newRow("unread beyond the first page, shown at once")
            << HistoryRow{120, page + 10, 0, page + 10, 2 * page};
        QTest::newRow("unread beyond the first page, paged on")
            << HistoryRow{120, page + 10, 1, page + 10, 120};
    }
    void history()
    {
        QFETCH(HistoryRow, row);
        const DBChatRoom room = newRoom();
        const QStringList ids = storeChats(room.topic(), row.stored);
        unreadCounts().set(room.topic(), row.unread);
        auto dialog = open(room);
        for (int i = 0; i < row.tops; ++i)
            emit dialog->chatView()->movedToTop();
        QCOMPARE(rows(*dialog), markedRows(ids.mid(row.stored - row.shown), row.markerAt));
    }

    // Many unread: the window opens with the marker whole at the top, no items far from it, and
    // stays so while rows take their heights.
    void manyUnread_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("unread");
        QTest::addColumn<int>("lengths");
        QTest::newRow("1,230 of 2,000, texts of one to five lines") << 2000 << 1230 << 5;
        QTest::newRow("just past two pages") << 400 << 2 * ChatRules::kPageSize + 1 << 1;
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

    // An arrival keeps a view at its bottom there; a scrolled-up view stays put and shows the bar.
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
            const DBChat chat = chatRecord(
                room.topic(), QStringLiteral("arrived-%1-%2").arg(roomId(room.topic())).arg(i),
                1002, QDateTime::currentMSecsSinceEpoch() + i,
                QStringLiteral("just arrived %1").arg(i));
            dialog->addChat(chat);
            newest = chat.msgId();
        }
        const Arrival seen{view->layoutCount() - layoutsBefore, view->isScrolledToBottom(),
                           view->newMessageButton()->isVisible(),
                           view->rowData(view->count() - 1).messageId,
                           scrolledUp ? bar->value() - valueBefore : 0};
        QCOMPARE(seen, (Arrival{layouts, !scrolledUp, scrolledUp, newest, 0}));
    }

    // Search matches texts only (not a picture named so), newest first, loading older pages; %, _,
    // \ and quotes are matched as written.
    void search_data()
    {
        QTest::addColumn<SearchRow>("row");
        QTest::newRow("older pages loaded, stepped both ways") << SearchRow{
            160,
            {{3, "line needle"}, {70, "a needle"}, {140, "needle"}},
            "needle",
            {"return", "up", "return", "down"},
            {{3, true, false}, {70, true, true}, {140, false, true}, {70, true, true}}};
        // Each text beside the match would match were one of %, _ or \ a wildcard.
        QTest::newRow("%, _, \\ and a quote as written") << SearchRow{
            5,
            {{3, "it's 5_0% \\ ok"}, {2, "it's 5x0% \\ ok"}, {1, "it's 5_0 and% \\ ok"}},
            "'s 5_0% \\",
            {"return"},
            {{3, false, false}}};
        QTest::newRow("no match") << SearchRow{
            5, {}, "zzz", {"return", "up"}, {{-1, false, false}, {-1, false, false}}};
    }
    void search()
    {
        QFETCH(SearchRow, row);
        const DBChatRoom room = newRoom();
        const QStringList ids = storeChats(room.topic(), row.stored, "line", row.texts);
        DBChat picture =
            chatRecord(room.topic(), QStringLiteral("pic-%1").arg(roomId(room.topic())), 1002,
                       QDateTime::currentMSecsSinceEpoch(), {});
        picture.setImage("/files/x_t.png", "/files/x.png", row.search + ".png", 4, 4);
        picture.setContent(ContentTypeImage, picture.toMessage());
        QVERIFY(picture.insertOrUpdate());
        auto dialog = open(room);
        dialog->findChild<QToolButton*>(QStringLiteral("searchButton"))->click();
        auto* up = dialog->findChild<QToolButton*>(QStringLiteral("searchUpButton"));
        auto* down = dialog->findChild<QToolButton*>(QStringLiteral("searchDownButton"));
        auto* field = dialog->findChild<MtSearchLineEdit*>(QStringLiteral("searchLineEdit"));
        const QMap<QString, std::function<void()>> keys{
            {"return", [&] { emit field->returnPressed(row.search); }},
            {"up", [&] { up->click(); }},
            {"down", [&] { down->click(); }}};
        QVector<SearchStep> steps;
        for (const QString& key : row.keys) {
            keys.value(key)();
            steps.append(
                {backOf(ids, dialog->highlightedMessageId()), up->isEnabled(), down->isEnabled()});
        }
        QCOMPARE(steps, row.steps);
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
    // A match is whole and highlighted when reported, and stays so as rows take their heights.
    void farMatch()
    {
        QFETCH(int, stored);
        QFETCH(int, back);
        const DBChatRoom room = newRoom();
        const QStringList ids = storeChats(
            room.topic(), stored, "a few words that wrap in a bubble", {{back, "the needle"}}, 5);
        auto dialog = open(room);
        dialog->resize(420, 520);
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->findChild<QToolButton*>(QStringLiteral("searchButton"))->click();
        QSignalSpy shown(dialog.get(), &ChatDialog::matchShown);
        emit dialog->findChild<MtSearchLineEdit*>(QStringLiteral("searchLineEdit"))
            ->returnPressed(QStringLiteral("needle"));
        QVERIFY(waitUntil([&] { return shown.count() == 1; }));
        const int at = stored - 1 - back;
        QCOMPARE(farMatchSeen(*dialog).whole, true);
        QTRY_COMPARE(farMatchSeen(*dialog), (FarMatch{ids.value(at), QStringLiteral("needle"), true,
                                                      ids.value(at - 1), ids.value(at + 1), 0}));
    }

    // The export holds every stored chat, and a long text never opened fetched and written whole.
    void exportConversation()
    {
        const DBChatRoom room = newRoom();
        const QStringList ids = storeChats(room.topic(), 3, "exported");
        auto dialog = open(room);
        const QString longText = QStringLiteral("said at length ").repeated(20);
        const QString id =
            chatFromOther(room, {{"contentType", ContentTypeFile}, {"text", longText}});
        QVERIFY(waitUntil([&] { return dialog->chatView()->containsMessage(id); }));
        const QString path = m_files.filePath("export.txt");
        answerFileDialog(path);
        QVERIFY(triggerMenuEntry(*dialog, ChatRules::RoomMenuEntry::Export));
        QVERIFY(waitUntil([&] { return QFile::exists(path); }));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QCOMPARE((Exported{int(text.count(QStringLiteral("exported "))), text.contains(longText)}),
                 (Exported{int(ids.size()), true}));
    }

    // An empty invitation sends nothing; one added is invited, announced and shown in the room.
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
        QCOMPARE(m_server.requests("/rest/chatt/room/member", req).size(), 1);
        QCOMPARE(dialog->chatRoom().members().split(',').contains(QString::number(newcomer)), true);
        QVERIFY(waitUntil([&] { return !m_server.sentSince(seq, room.topic()).isEmpty(); }));
        QCOMPARE(m_server.sentSince(seq, room.topic()).value(0).type, int(MsgTypeAdmission));
    }

    // A person clicked in the members list opens the profile card of that person.
    void memberProfileCard()
    {
        const DBChatRoom room = newGroupRoom();
        auto dialog = open(room);
        QVERIFY(triggerMenuEntry(*dialog, ChatRules::RoomMenuEntry::ViewMembers));
        auto* members = dialog->findChild<MembersDialog*>();
        QVERIFY(members);
        const qint64 memberId = room.members().section(',', 0, 0).toLongLong();
        DBUser member;
        QVERIFY(db()->findUser(memberId, member));
        emit members->memberClicked(int(memberId));
        auto* card = dialog->findChild<ProfileViewPopup*>();
        QVERIFY(card);
        QStringList texts;
        for (const QLabel* label : card->findChildren<QLabel*>())
            texts << label->text();
        QCOMPARE(texts.contains(member.userName()), true);
    }

    // A left room goes from the store and forgets its window's saved geometry.
    void leave()
    {
        const DBChatRoom room = newGroupRoom();
        open(room)->setGeometry(QRect(40, 30, 380, 420));
        auto dialog = open(room);
        QSignalSpy left(dialog.get(), &ChatDialog::roomLeft);
        acceptNextQuestion();
        QVERIFY(triggerMenuEntry(*dialog, ChatRules::RoomMenuEntry::Leave));
        QVERIFY(left.wait(30000));
        QCOMPARE(db()->chatRoomExists(room.topic()), false);
        QCOMPARE(open(room)->hasSavedGeometry(), false);
    }

    // The alarm switch and the geometry come back per room; a place on no screen keeps the size.
    void keptPerRoom_data()
    {
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QRect>("set");
        QTest::addColumn<Kept>("kept");
        const QRect onScreen(40, 30, 380, 420);
        QTest::newRow("untouched") << 0 << onScreen << Kept{true, true, {380, 420}, true};
        QTest::newRow("switched off, on no screen")
            << 1 << QRect(30000, 30000, 390, 410) << Kept{false, false, {390, 410}, false};
        QTest::newRow("off and on again") << 2 << onScreen << Kept{true, true, {380, 420}, true};
    }
    void keptPerRoom()
    {
        QFETCH(int, clicks);
        QFETCH(QRect, set);
        QFETCH(Kept, kept);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        dialog->setGeometry(set);
        for (int i = 0; i < clicks; ++i)
            dialog->findChild<QToolButton*>(QStringLiteral("alarmButton"))->click();
        dialog.reset();
        const bool inSession = session()->mtData()->isTopicAlarmOn(room.topic());
        auto reopened = open(room);
        QCOMPARE((Kept{inSession, reopened->alarmOn(), reopened->size(),
                       reopened->pos() == set.topLeft()}),
                 kept);
    }

    // A window whose draft did not change writes nothing as it closes, so it never waits for the
    // store's write lock, held here as the delivery thread holds it for each batch.
    void closeWithUnchangedDraft_data()
    {
        QTest::addColumn<QString>("storedDraft");
        QTest::newRow("no draft") << QString();
        QTest::newRow("a draft shown again") << QStringLiteral("half a sentence");
    }
    void closeWithUnchangedDraft()
    {
        QFETCH(QString, storedDraft);
        const DBChatRoom room = newRoom();
        QVERIFY(db()->saveDraft(room.topic(), storedDraft));
        std::unique_ptr<ChatDialog> window = open(room);
        QCOMPARE(boxText(*window), storedDraft);
        DBManager writer(db()->dbPath(), QStringLiteral("close-writer"),
                         QString::fromLatin1(DBManager::kPassword), 1);
        QSqlQuery hold(QSqlDatabase::database(writer.connectionName()));
        QVERIFY(hold.exec(QStringLiteral("BEGIN IMMEDIATE")));
        g_criticals.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepCriticals);
        window->close();
        qInstallMessageHandler(previous);
        QVERIFY(hold.exec(QStringLiteral("ROLLBACK")));
        QCOMPARE(g_criticals, QStringList());
    }
};

QTEST_MAIN(TestChatDialog)
#include "tst_chatdialog.moc"
