// The chat window against the reference server over TLS and its broker, one login for all.
#include "common/chatrows.h"
#include "common/devserver.h"
#include "common/filesizelimit.h"
#include "common/loggedin.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "common/wait.h"

#include "chat/chatdialog.h"
#include "chat/chatrules.h"
#include "net/filemanager.h"
#include "resources/mtresources.h"
#include "session/mtsession.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/mtdata.h"
#include "store/unreadcounts.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtsearchlineedit.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {
QStringList g_criticals;

void keepCriticals(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg)
        g_criticals << message;
}

// A chat's bubble state and stored msg_state (-1: none).
struct Bubble
{
    int itemState = -1, storedState = -1;
    MT_TYPED(Bubble, itemState, storedState)
};
// A text sent with Return: what the broker got (a long text's preview), uploads, bubble, box.
struct Typed
{
    QVector<DevSent> sent;
    int uploads = 0;
    Bubble bubble;
    QString box;
    MT_TYPED(Typed, sent, uploads, bubble, box)
};
struct TypedRow
{
    QString text, composing; // a syllable still being composed when Return is pressed
    DevSent sent;
    int uploads = 0;
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
// A match: highlighted, placed, rows in view not as tall as their items.
struct FarMatch
{
    QString highlighted, itemHighlight;
    Placed placed;
    int misfitRows = 0;
    MT_TYPED(FarMatch, highlighted, itemHighlight, placed, misfitRows)
};
// The read marker: its top, placed, rows with items more than a page away.
struct MarkerSeen
{
    int top = -1;
    Placed placed;
    int farItems = -1;
    MT_TYPED(MarkerSeen, top, placed, farItems)
};
// The chat at the top of the viewport and its top; the new-message bar.
struct TopOfView
{
    QString id;
    int top = 0;
    bool newBar = false;
    MT_TYPED(TopOfView, id, top, newBar)
};
// A first send into a room not made yet: what was published, rooms asked for, notices stored.
struct Created
{
    QVector<int> types, contentTypes;
    int roomRequests = 0, storedNotices = 0;
    MT_TYPED(Created, types, contentTypes, roomRequests, storedNotices)
};
// A broken upload sent again: its bubble before, and what the server keeps afterwards.
struct Resent
{
    Bubble broken;
    int kept = 0, keptType = 0;
    QString keptId, keptName;
    int keptWidth = 0;
    MT_TYPED(Resent, broken, kept, keptType, keptId, keptName, keptWidth)
};
struct ResendRow
{
    QString how; // "paste", "scale", or "left": stored as uploading, as a stopped program leaves it
    int contentType = 0, keptWidth = 0;
};
// Saves of a file already on this computer.
struct LocalSaves
{
    int fetches = -1; // downloads the server answered after the first save
    QStringList files;
    QByteArray copied;
    int boxes = 0;
    MT_TYPED(LocalSaves, fetches, files, copied, boxes)
};
} // namespace

Q_DECLARE_METATYPE(TypedRow)
Q_DECLARE_METATYPE(SearchRow)
Q_DECLARE_METATYPE(Created)
Q_DECLARE_METATYPE(ResendRow)

class TestChatDialog : public QObject
{
    Q_OBJECT
private:
    static constexpr qint64 kMe = 1001; // user001

    MtSession* session() const { return m_login->session.get(); }
    DBManager* db() const { return m_login->db(); }
    static qint64 roomId(const QString& topic) { return topic.section('/', 1).toLongLong(); }

    // A new room of user001 the server knows, stored locally without chats.
    DBChatRoom newRoom()
    {
        const DevRoom made = m_server.bulk(QStringLiteral("user001"), 1, 0, false).value(0);
        DBChatRoom room(db());
        room.setTopic(made.topic);
        room.setType(made.roomType);
        QStringList members;
        for (qint64 id : made.memberIds)
            members << QString::number(id);
        members.removeAll(QString::number(kMe));
        room.setMembers(members.join(QLatin1Char(',')));
        room.insertOrUpdate();
        return room;
    }
    // A one-to-many room not made yet (before its first send): members without a topic.
    DBChatRoom newDummyRoom()
    {
        DBChatRoom room = newRoom();
        while (room.type() != RoomType1VSN)
            room = newRoom();
        DBChatRoom dummy(db());
        dummy.setType(RoomType1VSN);
        dummy.setMembers(room.members());
        return dummy;
    }
    // The room's window, shown and registered as open.
    std::unique_ptr<ChatDialog> open(const DBChatRoom& room)
    {
        m_login->windows.open.insert(room.topic());
        auto dialog = std::make_unique<ChatDialog>(session(), room);
        dialog->show();
        return dialog;
    }
    static QPlainTextEdit* inputBox(ChatDialog& dialog)
    {
        return dialog.findChild<QPlainTextEdit*>(QStringLiteral("textEdit"));
    }
    // Puts a picture this wide on the clipboard and presses Ctrl+V in the window's input box.
    static void paste(ChatDialog& dialog, int width)
    {
        auto* mime = new QMimeData;
        mime->setImageData(picture(width));
        QGuiApplication::clipboard()->setMimeData(mime);
        inputBox(dialog)->setFocus();
        QTest::keyClick(inputBox(dialog), Qt::Key_V, Qt::ControlModifier);
    }
    // `count` confirmed chats stored a second apart, oldest first; their ids. Chat i holds `text`
    // i % lengths + 1 times, or what `special` names for it counted back from the newest.
    QStringList storeChats(const QString& topic, int count, const QString& text = "stored",
                           const QMap<int, QString>& special = {}, int lengths = 1)
    {
        QStringList ids;
        const qint64 start = QDateTime::currentMSecsSinceEpoch() - count * 1000;
        for (int i = 0; i < count; ++i) {
            DBChat chat = chatRecord(
                topic, QStringLiteral("t-%1-%2").arg(roomId(topic)).arg(start + i * 1000),
                i % 2 ? kMe : 1002, start + i * 1000,
                special.value(count - 1 - i,
                              QStringLiteral("%1 %2").arg(text.repeated(i % lengths + 1)).arg(i)));
            chat.setMsgRead(true);
            chat.insertOrUpdate();
            ids << chat.msgId();
        }
        return ids;
    }
    // A confirmed text chat of the room, not stored.
    DBChat chatRecord(const QString& topic, const QString& id, qint64 sender, qint64 time,
                      const QString& text) const
    {
        DBChat chat(db());
        chat.setTopic(topic);
        chat.setMsgId(id);
        chat.setMsgType(MsgTypeChat);
        chat.setSenderId(sender);
        chat.setMsgTime(time);
        chat.setContent(ContentTypeText, text);
        chat.setMsgState(MsgStateConfirmed);
        return chat;
    }
    int storedState(const QString& topic, const QString& messageId)
    {
        DBChat chat(db());
        return db()->findChat(topic, messageId, chat) ? chat.msgState() : -1;
    }
    Bubble bubble(const ChatDialog& dialog, const QString& messageId)
    {
        MtChatBaseItem* item = dialog.chatView()->findItem(messageId);
        return {item ? item->state() : -1, storedState(dialog.topic(), messageId)};
    }
    QString newestOwnId(const QString& topic)
    {
        QList<DBChat> page;
        db()->chatList(page, topic, 50, 0);
        QString id;
        for (const DBChat& chat : page)
            id = chat.senderId() == kMe ? chat.msgId() : id;
        return id;
    }
    static QImage picture(int width)
    {
        QImage picture(width, 30, QImage::Format_RGB32);
        picture.fill(QColor(10, 120, 200));
        return picture;
    }
    static qint64 otherMember(const DBChatRoom& room)
    {
        return room.members().section(',', 0, 0).toLongLong();
    }
    // What the broker got after `seq`, a long text's preview for its contents.
    QVector<DevSent> said(qint64 seq, const QString& topic)
    {
        QVector<DevSent> out = m_server.sentSince(seq, topic);
        for (DevSent& s : out) {
            const QJsonDocument file = QJsonDocument::fromJson(s.contents.toUtf8());
            s.contents =
                s.contentType == ContentTypeFile ? file["preview_text"].toString() : s.contents;
        }
        return out;
    }
    static FarMatch farMatchSeen(const ChatDialog& dialog)
    {
        MtChatWidget* view = dialog.chatView();
        MtChatBaseItem* item = view->findItem(dialog.highlightedMessageId());
        if (!item)
            return {};
        FarMatch seen{dialog.highlightedMessageId(), item->highlight(),
                      placedOf(*view, view->row(item->listItem())), 0};
        for (int row = 0; row < view->count(); ++row) {
            const QRect rect = view->visualItemRect(view->item(row));
            MtChatBaseItem* inView =
                rect.intersects(view->viewport()->rect()) ? view->chatItem(row) : nullptr;
            seen.misfitRows += inView && inView->sizeHint().height() != rect.height();
        }
        return seen;
    }
    static TopOfView topOfView(const MtChatWidget& view)
    {
        const QString id = chatIdFrom(view, view.indexAt(QPoint(0, 0)).row(), 1);
        return {id, view.visualItemRect(view.item(rowOf(view, id))).top(),
                view.newMessageButton()->isVisible()};
    }
    static MarkerSeen markerSeen(const ChatDialog& dialog)
    {
        MtChatWidget* view = dialog.chatView();
        int at = -1;
        for (int row = 0; row < view->count() && at < 0; ++row)
            at = view->rowData(row).itemType == MtChatBaseItem::ItemType_Alarm &&
                         view->rowData(row).messageId.isEmpty()
                     ? row
                     : -1;
        if (at < 0)
            return {};
        return {view->visualItemRect(view->item(at)).top(), placedOf(*view, at),
                itemsFarFrom(*view, at, ChatRules::kPageSize)};
    }
    // The next file dialog the program opens is handed to `answer`.
    void onChooser(const std::function<void(QFileDialog*)>& answer)
    {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [poll, answer] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!chooser)
                return;
            poll->deleteLater();
            answer(chooser);
        });
        poll->start(10);
    }

    TestEnv m_env;
    DevServer m_server;
    std::unique_ptr<LoggedIn> m_login;
    QTemporaryDir m_files;

private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        // The bubbles' nine-patch pictures and the window's icons, as the program loads them.
        mtInitResources();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_login = std::make_unique<LoggedIn>(m_server, QStringLiteral("user001"),
                                             LoggedIn::kPassword, QStringLiteral("chat-pc"));
        QVERIFY(m_login->ok);
    }
    void cleanup()
    {
        m_server.resume();
        m_login->windows.open.clear();
    }

    // Texts sent while the broker is down go out, each once with its own id, when messaging is
    // back. A second Return too soon keeps its text (no line break) and tells why once; the
    // button sends it.
    void sendWhileAwayAndTooFast()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QSignalSpy down(session(), &MtSession::messagingDisconnected);
        QSignalSpy back(session(), &MtSession::messagingConnected);
        const qint64 seq = m_server.lastPublishedSeq();
        QCOMPARE(m_server.dropBroker(session()->mtData()->clientId()), 1);
        // The drop may already be seen while the control call waits for its answer.
        QVERIFY(waitUntil([&] { return down.count() > 0; }));
        const auto typeAndReturn = [&](const QString& text) {
            inputBox(*dialog)->setPlainText(text);
            QTest::keyClick(inputBox(*dialog), Qt::Key_Return);
        };
        typeAndReturn(QStringLiteral("first"));
        const QString first = newestOwnId(room.topic());
        typeAndReturn(QStringLiteral("second"));
        const QString kept = inputBox(*dialog)->toPlainText();
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("sendButton")),
                          Qt::LeftButton);
        const QString second = newestOwnId(room.topic());
        QVERIFY(waitUntil([&] { return back.count() > 0; }, 60000));
        QVERIFY(waitUntil([&] { return storedState(room.topic(), second) == MsgStateConfirmed; }));
        QCOMPARE(kept, QStringLiteral("second"));
        QCOMPARE(m_server.publishedIds(seq, room.topic()), (QStringList{first, second}));
        QCOMPARE(
            m_server.sentSince(seq, room.topic()),
            (QVector<DevSent>{{1, 1, QStringLiteral("first")}, {1, 1, QStringLiteral("second")}}));
        QCOMPARE(dialog->findChildren<MtMessageDialog*>().size(), 1);
    }

    // Return sends the text as typed, above the limit as a file with its preview; the echo settles.
    void sendText_data()
    {
        QTest::addColumn<TypedRow>("row");
        const QString above(ChatRules::kTextLimit + 1, QLatin1Char('z'));
        QTest::newRow("above the limit")
            << TypedRow{above, {}, {1, ContentTypeFile, ChatRules::textPlan(above).preview}, 1};
        QTest::newRow("line breaks kept")
            << TypedRow{"one\ntwo", {}, {1, ContentTypeText, "one\ntwo"}, 0};
        QTest::newRow("a syllable being composed goes with it")
            << TypedRow{"안녕", "하", {1, ContentTypeText, "안녕하"}, 0};
    }
    void sendText()
    {
        QFETCH(TypedRow, row);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const qint64 seq = m_server.lastPublishedSeq(), req = m_server.lastRequestSeq();
        inputBox(*dialog)->setPlainText(row.text);
        inputBox(*dialog)->moveCursor(QTextCursor::End);
        QInputMethodEvent compose(row.composing, {});
        QCoreApplication::sendEvent(inputBox(*dialog), &compose);
        QTest::keyClick(inputBox(*dialog), Qt::Key_Return);
        QVERIFY(waitUntil([&] { return !m_server.sentSince(seq, room.topic()).isEmpty(); }));
        const QString id = newestOwnId(room.topic());
        waitUntil([&] { return bubble(*dialog, id).storedState == MsgStateConfirmed; });
        QCOMPARE(
            (Typed{said(seq, room.topic()), int(m_server.requests("/rest/file/chat", req).size()),
                   bubble(*dialog, id), inputBox(*dialog)->toPlainText()}),
            (Typed{{row.sent}, row.uploads, {MtChatItemState::Settled, MsgStateConfirmed}, {}}));
    }

    // Many unread: the marker opens whole at the top, no items far away, and stays as rows settle;
    // others' chats arriving then leave the rows in view where they are and show the new-message
    // bar.
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
        MtChatWidget* view = dialog->chatView();
        const MarkerSeen expected{
            0, {true, ids.value(stored - unread - 1), ids.value(stored - unread)}, 0};
        QCOMPARE(markerSeen(*dialog), expected);
        QVERIFY(settled(*view));
        QCOMPARE(markerSeen(*dialog), expected);
        const TopOfView before = topOfView(*view);
        QString last;
        for (int i = 1; i <= 3; ++i)
            last = m_server.chat(roomId(room.topic()), otherMember(room),
                                 QStringLiteral("arrived %1").arg(i));
        QVERIFY(waitUntil([&] { return view->containsMessage(last); }));
        QVERIFY(settled(*view));
        QCOMPARE(topOfView(*view), (TopOfView{before.id, before.top, true}));
    }

    // Search: texts only, newest first, older pages loaded; %, _, \ and quotes as written. The
    // last match is whole and highlighted when reported, and stays so as rows take their heights.
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
        const auto one = [](int stored, int back) {
            return SearchRow{stored, {{back, "the needle"}}, "needle", {"return"}, {{back}}};
        };
        QTest::newRow("a dozen pages back") << one(700, 640);
        QTest::newRow("the oldest chat") << one(400, 399);
        QTest::newRow("next to the newest") << one(400, 1);
        QTest::newRow("the newest") << one(30, 0);
    }
    void search()
    {
        QFETCH(SearchRow, row);
        const DBChatRoom room = newRoom();
        const QStringList ids =
            storeChats(room.topic(), row.stored, "a few words that wrap in a bubble", row.texts, 5);
        // Between the third and the fourth chat: beside no match.
        DBChat third(db());
        QVERIFY(db()->findChat(room.topic(), ids.value(2), third));
        DBChat picture =
            chatRecord(room.topic(), QStringLiteral("pic-%1").arg(roomId(room.topic())), 1002,
                       third.msgTime() + 500, {});
        picture.setImage("/files/x_t.png", "/files/x.png", row.search + ".png", 4, 4);
        picture.setContent(ContentTypeImage, picture.toMessage());
        QVERIFY(picture.insertOrUpdate());
        auto dialog = open(room);
        dialog->resize(420, 520);
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->findChild<QToolButton*>(QStringLiteral("searchButton"))->click();
        auto* up = dialog->findChild<QToolButton*>(QStringLiteral("searchUpButton"));
        auto* down = dialog->findChild<QToolButton*>(QStringLiteral("searchDownButton"));
        auto* field = dialog->findChild<MtSearchLineEdit*>(QStringLiteral("searchLineEdit"));
        // The lambdas take the row's values, not the row, whose type is local to this file.
        const QString search = row.search;
        const QMap<QString, std::function<void()>> keys{
            {"return", [&] { emit field->returnPressed(search); }},
            {"up", [&] { up->click(); }},
            {"down", [&] { down->click(); }}};
        QVector<SearchStep> steps;
        for (const QString& key : row.keys) {
            keys.value(key)();
            const QString id = dialog->highlightedMessageId();
            steps.append({ids.contains(id) ? int(ids.size() - 1 - ids.indexOf(id)) : -1,
                          up->isEnabled(), down->isEnabled()});
        }
        QCOMPARE(steps, row.steps);
        const int at = ids.size() - 1 - row.steps.last().back;
        QCOMPARE(farMatchSeen(*dialog).placed.whole, true);
        QTRY_COMPARE(farMatchSeen(*dialog),
                     (FarMatch{ids.value(at), row.search,
                               Placed{true, ids.value(at - 1), ids.value(at + 1)}, 0}));
    }

    // The export holds every stored chat, a long text never opened fetched and written whole.
    void exportConversation()
    {
        const DBChatRoom room = newRoom();
        const QStringList ids = storeChats(room.topic(), 3, "exported");
        auto dialog = open(room);
        const QString longText = QStringLiteral("said at length ").repeated(20);
        const QString id = m_server.chat(roomId(room.topic()), otherMember(room), longText,
                                         {{"contentType", ContentTypeFile}});
        QVERIFY(waitUntil([&] { return dialog->chatView()->containsMessage(id); }));
        const QString path = m_files.filePath("export.txt");
        onChooser([path](QFileDialog* chooser) {
            // Typed whole: a name selected while its box has the focus would not be taken.
            chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog*>(chooser)->accept(); // QFileDialog takes its chosen name
        });
        dialog->findChild<QToolButton*>(QStringLiteral("menuButton"))->click();
        QList<QAction*> actions = dialog->findChild<QMenu*>()->actions();
        actions.erase(std::remove_if(actions.begin(), actions.end(),
                                     [](QAction* a) { return a->isSeparator(); }),
                      actions.end());
        dialog->findChild<QMenu*>()->close();
        actions
            .value(ChatRules::roomMenuEntries(room.type(), false)
                       .indexOf(ChatRules::RoomMenuEntry::Export))
            ->trigger();
        QVERIFY(waitUntil([&] { return QFile::exists(path); }));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QCOMPARE(int(text.count(QStringLiteral("exported "))), int(ids.size()));
        QCOMPARE(text.contains(longText), true);
    }

    // A draft typed and closed at once, before its timer, is kept; unchanged, it is not written
    // again on close: no wait for the delivery thread's write lock.
    void draftOnClose()
    {
        const QString typed = QStringLiteral("typed just before closing");
        const DBChatRoom room = newRoom();
        std::unique_ptr<ChatDialog> window = open(room);
        inputBox(*window)->insertPlainText(typed);
        window->close();
        window = open(room);
        QCOMPARE(inputBox(*window)->toPlainText(), typed);
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
        QCOMPARE(db()->draft(room.topic()), typed);
    }

    // A first send makes the room once and follows its creation notice, whose echo adds none.
    void firstSendMakesTheRoom_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<Created>("created");
        QTest::newRow("picture pasted") << "paste" << Created{{3, 1}, {0, ContentTypeImage}, 1, 1};
        QTest::newRow("text sent twice at once")
            << "send twice" << Created{{3, 1}, {0, ContentTypeText}, 1, 1};
    }
    void firstSendMakesTheRoom()
    {
        QFETCH(QString, how);
        QFETCH(Created, created);
        ChatDialog dialog(session(), newDummyRoom());
        dialog.show();
        QSignalSpy made(&dialog, &ChatDialog::roomCreated);
        const qint64 seq = m_server.lastPublishedSeq(), req = m_server.lastRequestSeq();
        auto* send = dialog.findChild<QPushButton*>(QStringLiteral("sendButton"));
        const QMap<QString, std::function<void()>> act{{"paste", [&] { paste(dialog, 40); }},
                                                       {"send twice", [&] {
                                                            inputBox(dialog)->setPlainText(
                                                                QStringLiteral("first words"));
                                                            QTest::mouseClick(send, Qt::LeftButton);
                                                            QTest::mouseClick(send, Qt::LeftButton);
                                                        }}};
        act.value(how)();
        QVERIFY(made.wait(30000));
        m_login->windows.open.insert(dialog.topic());
        QVERIFY(waitUntil([&] { return m_server.sentSince(seq, dialog.topic()).size() >= 2; }));
        // Sentinel: the chat after the notice came back, so the notice's echo came before it.
        const QString chatId = m_server.publishedIds(seq, dialog.topic()).value(0);
        QVERIFY(
            waitUntil([&] { return storedState(dialog.topic(), chatId) == MsgStateConfirmed; }));
        Created seen{{}, {}, 0, db()->totalChatCount(dialog.topic(), MsgTypeInvite)};
        for (const DevSent& s : m_server.sentSince(seq, dialog.topic())) {
            seen.types << s.type;
            seen.contentTypes << s.contentType;
        }
        for (const QJsonValue& r : m_server.requests("/rest/chatt/room", req))
            seen.roomRequests += r["path"].toString().section('?', 0, 0) == "/rest/chatt/room";
        QCOMPARE(seen, created);
    }

    // An upload cut by its window's close, or left running by a stopped program, opens failed;
    // a later window resends it once, same id.
    void brokenSendIsResent_data()
    {
        QTest::addColumn<ResendRow>("row");
        QTest::newRow("pasted picture") << ResendRow{"paste", ContentTypeImage, 1024};
        QTest::newRow("scaled picture") << ResendRow{"scale", ContentTypeImage, 1024};
        QTest::newRow("file left uploading") << ResendRow{"left", ContentTypeFile, 0};
    }
    void brokenSendIsResent()
    {
        QFETCH(ResendRow, row);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QVERIFY(m_server.pause());
        const QString topic = room.topic();
        const QMap<QString, std::function<void()>> send{
            {"paste", [&] { paste(*dialog, 1500); }},
            {"scale",
             [&] {
                 const QString wide = m_files.filePath(QStringLiteral("wide.png"));
                 picture(1500).save(wide, "PNG");
                 dialog->uploadFiles({wide}, true);
             }},
            {"left", [&] {
                 DBChat left =
                     chatRecord(topic, QStringLiteral("pc1001-left-%1").arg(roomId(topic)), kMe,
                                QDateTime::currentMSecsSinceEpoch(), {});
                 left.setMsgState(MsgStateUploading);
                 left.setFile({}, QStringLiteral("left.txt"), 12, {});
                 left.setContent(ContentTypeFile, left.toMessage());
                 QFile file(m_files.filePath(QStringLiteral("left.txt")));
                 file.open(QIODevice::WriteOnly);
                 file.write(QByteArray(12, 'l'));
                 left.setFilePath(file.fileName());
                 left.insert();
             }}};
        send.value(row.how)();
        const QString id = newestOwnId(room.topic());
        // Closed as its close button does.
        m_login->windows.open.remove(room.topic());
        dialog->accept();
        dialog.reset();
        QVERIFY(m_server.resume());
        auto reopened = open(room);
        const Bubble broken = bubble(*reopened, id);
        emit reopened->chatView()->resendClicked(id);
        QVERIFY(waitUntil([&] { return storedState(room.topic(), id) == MsgStateConfirmed; }));
        const QJsonArray chats = m_server.history(roomId(room.topic()));
        const QJsonObject contents =
            QJsonDocument::fromJson(chats.at(0)["contents"].toString().toUtf8()).object();
        DBChat stored(db());
        QVERIFY(db()->findChat(room.topic(), id, stored));
        QCOMPARE((Resent{broken, int(chats.size()), chats.at(0)["contentType"].toInt(),
                         chats.at(0)["messageId"].toString(),
                         contents.value("file_name").toString(), contents.value("width").toInt()}),
                 (Resent{{MtChatItemState::Failed, MsgStateUploadFailed},
                         1,
                         row.contentType,
                         id,
                         stored.fileName(),
                         row.keptWidth}));
    }

    // A peer's file is saved under its name made safe, then copied, not fetched; failed copies say
    // so.
    void savedFileIsCopied()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const QByteArray content("minutes of the meeting\n");
        const QString id = m_server.chat(roomId(room.topic()), otherMember(room), QString(),
                                         {{"contentType", ContentTypeFile},
                                          {"fileName", "../../x/..\\mi:nu?<tes>.txt"},
                                          {"data", QString::fromLatin1(content.toBase64())}});
        QVERIFY(waitUntil([&] { return dialog->chatView()->containsMessage(id); }));
        DBChat stored(db());
        const auto savedAs = [&](const QString& name) {
            return waitUntil([&] {
                return db()->findChat(room.topic(), id, stored) && stored.filePath().endsWith(name);
            });
        };
        emit dialog->chatView()->saveFile(id, false);
        QVERIFY(savedAs(QStringLiteral("/mi_nu__tes_.txt")));
        const qint64 since = m_server.lastRequestSeq();
        emit dialog->chatView()->saveFile(id, false);
        QVERIFY(savedAs(QStringLiteral("/mi_nu__tes_(1).txt")));
        {
            const FileSizeLimit limit(4);
            emit dialog->chatView()->saveFile(id, false);
        }
        QVERIFY(waitUntil([&] { return !dialog->findChildren<MtMessageDialog*>().isEmpty(); }));
        // A file where the download folder should be: no name can be made in it, even for root.
        const QString folder = FileManager::downloadFolder();
        QVERIFY(QDir().rename(folder, folder + ".aside"));
        QVERIFY(QFile(folder).open(QIODevice::WriteOnly));
        emit dialog->chatView()->saveFile(id, false);
        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().rename(folder + ".aside", folder));
        QFile copy(stored.filePath());
        copy.open(QIODevice::ReadOnly);
        const LocalSaves seen{
            int(m_server.requests(QStringLiteral("/files"), since).size()),
            QDir(FileManager::downloadFolder()).entryList({QStringLiteral("mi_nu*")}, QDir::Files),
            copy.readAll(), int(dialog->findChildren<MtMessageDialog*>().size())};
        QCOMPARE(seen, (LocalSaves{0, {"mi_nu__tes_(1).txt", "mi_nu__tes_.txt"}, content, 2}));
    }

    // Qt splits a chooser's filter at spaces: each pattern must be "*" or "*.<extension>". The
    // file chooser lists the picture chooser's filter too.
    void choosersListTheirFiles()
    {
        auto dialog = open(newRoom());
        QStringList patterns;
        onChooser([&patterns](QFileDialog* chooser) {
            for (const QString& filter : chooser->nameFilters()) {
                chooser->selectNameFilter(filter);
                patterns << chooser->findChild<QFileSystemModel*>()->nameFilters();
            }
            chooser->reject();
        });
        QTest::mouseClick(dialog->findChild<QToolButton*>(QStringLiteral("sendFileButton")),
                          Qt::LeftButton);
        const QRegularExpression onePattern(QStringLiteral("^\\*(\\.[a-z0-9]+)?$"));
        QVERIFY(!patterns.isEmpty());
        QCOMPARE(patterns.filter(onePattern), patterns);
    }
};

QTEST_MAIN(TestChatDialog)
#include "tst_chatdialog.moc"
