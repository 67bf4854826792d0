// chat.open: a window of a room holding 10,000 stored chats, from construction until its newest
// page is painted (median of several opens; bar 150 ms).
// chat.open.unread2000: the same room with its newest 2,000 chats unread, from construction until
// the read marker above them is painted in view (median; bar 150 ms).
// chat.search.step: a search whose match lies 5,000 chats back, from Return in the search box
// until the match is shown highlighted (median; bar 1 s).
// chat.send.p99: Return in the input box until the broker has the CHAT, on loopback (p99 of
// 100 sends over 20 windows, as a window sends by key at most once a second; bar 50 ms).
#include "bench/common/benchreport.h"
#include "common/devserver.h"
#include "common/testenv.h"

#include "chat/chatdialog.h"
#include "resources/mtresources.h"
#include "session/chatwindowregistry.h"
#include "session/mtsession.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/unreadcounts.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtsearchlineedit.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

namespace {

constexpr qint64 kMe = 1001;
constexpr int kOpenRuns = 7;
constexpr int kSearchRuns = 3;
constexpr int kRoomChats = 10000;
constexpr int kUnreadChats = 2000;
constexpr int kSendWindows = 20;
constexpr int kSendRounds = 5;

class OpenWindows : public ChatWindowRegistry
{
public:
    bool isChatWindowOpen(const QString& topic) const override { return open.contains(topic); }
    bool isChatWindowActive(const QString&) const override { return false; }
    QSet<QString> open;
};

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

DBChatRoom newRoom(DevServer& server, DBManager* db)
{
    const QVector<DevRoom> rooms = server.bulk(QStringLiteral("user001"), 1, 0, false);
    DBChatRoom room(db);
    room.setTopic(rooms.value(0).topic);
    room.setType(rooms.value(0).roomType);
    QStringList members;
    for (qint64 id : rooms.value(0).memberIds) {
        if (id != kMe)
            members << QString::number(id);
    }
    room.setMembers(members.join(QLatin1Char(',')));
    room.insertOrUpdate();
    return room;
}

// `count` confirmed text chats, one a second; the chat `needleBack` from the newest holds the
// word "needle".
void storeChats(DBManager* db, const QString& topic, int count, int needleBack)
{
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - qint64(count) * 1000;
    db->database().transaction();
    for (int i = 0; i < count; ++i) {
        DBChat chat(db);
        chat.setTopic(topic);
        chat.setMsgId(QStringLiteral("b-%1-%2").arg(topic.section('/', 1)).arg(i));
        chat.setMsgType(1);
        chat.setSenderId(i % 3 ? 1002 : kMe);
        chat.setMsgTime(start + i * 1000);
        chat.setContent(1, count - 1 - i == needleBack
                               ? QStringLiteral("the needle is here")
                               : QStringLiteral("History line %1 with some words in it").arg(i));
        chat.setMsgState(1);
        chat.setMsgRead(true);
        chat.insert();
    }
    db->database().commit();
}

double nan()
{
    return std::numeric_limits<double>::quiet_NaN();
}

// The read marker's row (the notice without a message id the window adds itself) lies in the
// viewport.
bool markerInView(const MtChatWidget& view)
{
    for (int row = view.count() - 1; row >= 0; --row) {
        const MtChatEntryData data = view.rowData(row);
        if (data.itemType == MtChatBaseItem::ItemType_Alarm && data.messageId.isEmpty())
            return view.visualItemRect(view.item(row)).intersects(view.viewport()->rect());
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TestEnv home;
    home.applyToCurrentProcess();
    QApplication app(argc, argv);
    mtInitResources();
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));

    MtBench::Figure open{QStringLiteral("chat.open"), nan(), QStringLiteral("ms"), {},
                         MtBench::Bar::AtMost,        150};
    MtBench::Figure unreadOpen{QStringLiteral("chat.open.unread2000"),
                               nan(),
                               QStringLiteral("ms"),
                               {},
                               MtBench::Bar::AtMost,
                               150};
    MtBench::Figure search{QStringLiteral("chat.search.step"),
                           nan(),
                           QStringLiteral("ms"),
                           {},
                           MtBench::Bar::AtMost,
                           1000};
    MtBench::Figure send{
        QStringLiteral("chat.send.p99"), nan(), QStringLiteral("ms"), {}, MtBench::Bar::AtMost, 50};

    DevServer server;
    OpenWindows windows;
    std::unique_ptr<MtSession> session;
    bool ready = server.start();
    if (ready) {
        session = std::make_unique<MtSession>(ServerConfig::fromFile(server.clientIni()));
        session->setChatWindows(&windows);
        QSignalSpy rooms(session.get(), &MtSession::roomsReady);
        QSignalSpy connected(session.get(), &MtSession::messagingConnected);
        ready = session->login(QStringLiteral("user001"), QStringLiteral("Passw0rd!"), false,
                               QStringLiteral("bench-pc")) &&
                rooms.wait(30000) && (connected.count() > 0 || connected.wait(30000));
    }
    if (!ready) {
        std::fprintf(stderr, "bench_chatdialog: no session: %s\n",
                     qPrintable(server.errorString()));
        const bool a = MtBench::print(open), b = MtBench::print(search), c = MtBench::print(send);
        const bool d = MtBench::print(unreadOpen);
        return a && b && c && d ? 0 : 1;
    }
    DBManager* db = session->db();

    // chat.open
    const DBChatRoom longRoom = newRoom(server, db);
    storeChats(db, longRoom.topic(), kRoomChats, 5000);
    windows.open.insert(longRoom.topic());
    QVector<double> opens;
    for (int run = 0; run < kOpenRuns; ++run) {
        settle();
        QElapsedTimer clock;
        clock.start();
        auto dialog = std::make_unique<ChatDialog>(session.get(), longRoom);
        const double made = clock.nsecsElapsed() / 1e6;
        dialog->show();
        dialog->repaint();
        QCoreApplication::processEvents();
        opens << clock.nsecsElapsed() / 1e6;
        std::printf("chat.open: made in %.1f ms, shown and painted in %.1f ms\n", made,
                    opens.last() - made);
        const int rows = dialog->chatView()->count();
        if (run == 0)
            std::printf("chat.open: %d rows in the view after opening\n", rows);
        dialog.reset();
    }
    open.value = MtBench::median(opens);

    // chat.open.unread2000
    QVector<double> unreadOpens;
    for (int run = 0; run < kOpenRuns; ++run) {
        settle();
        unreadCounts().set(longRoom.topic(), kUnreadChats);
        QElapsedTimer clock;
        clock.start();
        auto dialog = std::make_unique<ChatDialog>(session.get(), longRoom);
        dialog->show();
        dialog->repaint();
        QCoreApplication::processEvents();
        const double ms = clock.nsecsElapsed() / 1e6;
        if (!markerInView(*dialog->chatView())) {
            std::fprintf(stderr, "chat.open.unread2000: the read marker was not in view\n");
            unreadOpens << nan();
            break;
        }
        unreadOpens << ms;
        std::printf("chat.open.unread2000: marker painted in %.1f ms, %d rows, %d items\n", ms,
                    dialog->chatView()->count(), dialog->chatView()->liveItemCount());
        dialog.reset();
    }
    unreadCounts().set(longRoom.topic(), 0);
    unreadOpen.value = MtBench::median(unreadOpens);

    // chat.search.step
    QVector<double> steps;
    for (int run = 0; run < kSearchRuns; ++run) {
        settle();
        auto dialog = std::make_unique<ChatDialog>(session.get(), longRoom);
        dialog->show();
        QCoreApplication::processEvents();
        dialog->findChild<QToolButton*>(QStringLiteral("searchButton"))->click();
        auto* field = dialog->findChild<MtSearchLineEdit*>(QStringLiteral("searchLineEdit"));
        QElapsedTimer clock;
        clock.start();
        QSignalSpy shown(dialog.get(), &ChatDialog::matchShown);
        emit field->returnPressed(QStringLiteral("needle"));
        // The match may be shown before Return has been handled to its end.
        waitUntil([&] { return !shown.isEmpty(); }, 120000);
        dialog->repaint();
        const double ms = clock.nsecsElapsed() / 1e6;
        if (dialog->highlightedMessageId() != QStringLiteral("b-%1-%2")
                                                  .arg(longRoom.topic().section('/', 1))
                                                  .arg(kRoomChats - 1 - 5000)) {
            std::fprintf(stderr, "chat.search.step: the match was not shown\n");
            steps << nan();
            break;
        }
        steps << ms;
    }
    search.value = MtBench::median(steps);

    // chat.send.p99
    std::vector<std::unique_ptr<ChatDialog>> senders;
    for (int i = 0; i < kSendWindows; ++i) {
        const DBChatRoom room = newRoom(server, db);
        windows.open.insert(room.topic());
        senders.push_back(std::make_unique<ChatDialog>(session.get(), room));
        senders.back()->show();
    }
    settle();
    QVector<double> latencies;
    for (int round = 0; round < kSendRounds; ++round) {
        for (int i = 0; i < kSendWindows; ++i) {
            ChatDialog& dialog = *senders[i];
            auto* box = dialog.findChild<QPlainTextEdit*>(QStringLiteral("textEdit"));
            const QString text = QStringLiteral("bench %1 %2").arg(round).arg(i);
            box->setPlainText(text);
            const qint64 seq = server.lastPublishedSeq();
            const qint64 before = QDateTime::currentMSecsSinceEpoch();
            QTest::keyClick(box, Qt::Key_Return);
            qint64 arrived = -1;
            waitUntil(
                [&] {
                    for (const DevPublished& p : server.published(seq)) {
                        if (p.type == 1 && p.contents == text)
                            arrived = p.time;
                    }
                    return arrived >= 0;
                },
                10000);
            latencies << (arrived >= 0 ? double(arrived - before) : nan());
            if (qEnvironmentVariableIsSet("BENCH_DETAIL"))
                std::printf("send round %d window %d: %.0f ms\n", round, i, latencies.last());
        }
        // A window sends by key at most once a second.
        waitMs(1100);
    }
    send.value = MtBench::percentile(latencies, 0.99);
    QVector<double> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    std::printf("chat.send: slowest %.0f %.0f %.0f %.0f ms\n", sorted.value(sorted.size() - 1),
                sorted.value(sorted.size() - 2), sorted.value(sorted.size() - 3),
                sorted.value(sorted.size() - 4));
    std::printf("chat.send: median %.1f ms over %d sends\n", MtBench::median(latencies),
                int(latencies.size()));

    const bool a = MtBench::print(open), b = MtBench::print(search), c = MtBench::print(send);
    const bool d = MtBench::print(unreadOpen);
    senders.clear();
    session.reset();
    return a && b && c && d ? 0 : 1;
}
