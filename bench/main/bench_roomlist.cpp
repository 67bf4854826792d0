// roomlist.fill: the room-list statement over a store of 1,000 rooms and 1,000,000 chats, the
// list filled from its rows and painted, all on the GUI thread as after a rooms answer. The
// median of several fills of the same shown list; bar: at most 300 ms. The store is the one
// the store benchmarks generate (shared through their data folder, made when missing).
#include "storebenchdata.h"

#include "bench/common/benchreport.h"
#include "main/chatroomitem.h"
#include "main/chatroomlist.h"
#include "resources/mtresources.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <cstdio>
#include <limits>

namespace {

constexpr int kRuns = 7;

// Runs what is pending, the widgets of an emptied list included (outside an event loop they
// would never be deleted).
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    mtInitResources();
    // The store and the list log every step; the program does not pay for text nobody keeps.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));

    const QString folder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../store/benchdata");
    const QString file = StoreBenchData::cachedChatStore(folder);
    MtBench::Figure figure{
        QStringLiteral("roomlist.fill"), 0, QStringLiteral("ms"), {}, MtBench::Bar::AtMost, 300};
    if (file.isEmpty()) {
        std::fprintf(stderr, "bench_roomlist: no chat store in %s\n", qPrintable(folder));
        figure.value = std::numeric_limits<double>::quiet_NaN();
        return MtBench::print(figure) ? 0 : 1;
    }
    DBManager db(file, QStringLiteral("Veltri"), QString::fromLatin1(DBManager::kPassword), 0);

    ChatRoomList list;
    list.setSession(&db, nullptr, StoreBenchData::kOwnUserId);
    list.resize(360, 600);
    list.show();
    settle();

    QVector<double> totals;
    QVector<double> queries;
    int rows = 0;
    for (int run = 0; run < kRuns; ++run) {
        list.clearChatRooms();
        settle();
        QElapsedTimer clock;
        clock.start();
        QList<DBChatRoom> rooms;
        db.chatRoomList(rooms);
        queries << clock.nsecsElapsed() / 1e6;
        list.setChatRooms(rooms);
        list.ensureRowWidgets();
        list.repaint();
        QCoreApplication::processEvents();
        totals << clock.nsecsElapsed() / 1e6;
        rows = list.count();
    }
    std::printf("roomlist.fill: %d rows, %d row widgets, query median %.1f ms, whole median "
                "%.1f ms (min %.1f)\n",
                rows, int(list.findChildren<ChatRoomItem*>().size()), MtBench::median(queries),
                MtBench::median(totals), *std::min_element(totals.begin(), totals.end()));
    figure.value = rows == StoreBenchData::kRooms ? MtBench::median(totals)
                                                  : std::numeric_limits<double>::quiet_NaN();
    return MtBench::print(figure) ? 0 : 1;
}
