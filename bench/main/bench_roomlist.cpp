// roomlist.fill: the room-list statement over a store of 1,000 rooms and 1,000,000 chats, the
// list filled from its rows and painted, all on the GUI thread as after a rooms answer. The
// median of several fills of the same shown list; bar: at most 300 ms. The store is the one
// the store benchmarks generate (shared through their data folder, made when missing).
// roomlist.fill.5000: the same with 4,000 more rooms (without chats) added to a copy of that
// store; bar: at most 500 ms.
#include "storebenchdata.h"

#include "bench/common/benchreport.h"
#include "main/chatroomitem.h"
#include "main/chatroomlist.h"
#include "resources/mtresources.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <limits>

namespace {

constexpr int kRuns = 7;
constexpr int kManyRooms = 5000;

// Runs what is pending, the widgets of an emptied list included (outside an event loop they
// would never be deleted).
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// The median of kRuns fills of a shown list from the store, in ms; not a number when the list
// did not get `rooms` rows.
double measureFill(DBManager& db, int rooms, const char* id)
{
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
        QList<DBChatRoom> listed;
        db.chatRoomList(listed);
        queries << clock.nsecsElapsed() / 1e6;
        list.setChatRooms(listed);
        list.ensureRowWidgets();
        list.repaint();
        QCoreApplication::processEvents();
        totals << clock.nsecsElapsed() / 1e6;
        rows = list.count();
    }
    std::printf("%s: %d rows, %d row widgets, query median %.1f ms, whole median %.1f ms (min "
                "%.1f)\n",
                id, rows, int(list.findChildren<ChatRoomItem*>().size()), MtBench::median(queries),
                MtBench::median(totals), *std::min_element(totals.begin(), totals.end()));
    return rows == rooms ? MtBench::median(totals) : std::numeric_limits<double>::quiet_NaN();
}

// A copy of the store in `dir` with rooms added, as the generator makes them, up to `rooms`:
// older than every room of the store and without chats. Empty on failure.
QString copyWithRooms(const QString& file, const QTemporaryDir& dir, int rooms)
{
    const QString copy = dir.filePath(QStringLiteral("rooms.db"));
    if (!QFile::copy(file, copy))
        return QString();
    DBManager db(copy, QStringLiteral("VeltriCopy"), QString::fromLatin1(DBManager::kPassword), 0);
    QSqlDatabase& connection = db.database();
    if (!db.isOpen() || !connection.transaction())
        return QString();
    QSqlQuery room(connection);
    room.prepare(QStringLiteral("INSERT INTO TTT_CHATT_ROOM (topic, type, members, create_date, "
                                "update_date) VALUES (?, ?, ?, ?, ?)"));
    for (int r = StoreBenchData::kRooms + 1; r <= rooms; ++r) {
        const int type = r % 10 == 0 ? 10 : (r % 3 == 0 ? 30 : 20);
        const QString members =
            type == 10   ? QString::number(r % 100 + 1)
            : type == 20 ? QString::number(2 + r % 1999)
                         : QStringLiteral("%1,%2").arg(2 + r % 1999).arg(2 + (r * 7) % 1999);
        room.addBindValue(QStringLiteral("chat/%1").arg(r));
        room.addBindValue(type);
        room.addBindValue(members);
        room.addBindValue(qint64(1) + r);
        room.addBindValue(qint64(1) + r);
        if (!room.exec())
            return QString();
    }
    return connection.commit() ? copy : QString();
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
    MtBench::Figure many{QStringLiteral("roomlist.fill.5000"),
                         0,
                         QStringLiteral("ms"),
                         {},
                         MtBench::Bar::AtMost,
                         500};
    figure.value = many.value = std::numeric_limits<double>::quiet_NaN();
    if (file.isEmpty()) {
        std::fprintf(stderr, "bench_roomlist: no chat store in %s\n", qPrintable(folder));
        MtBench::print(figure);
        MtBench::print(many);
        return 1;
    }
    {
        DBManager db(file, QStringLiteral("Veltri"), QString::fromLatin1(DBManager::kPassword), 0);
        figure.value = measureFill(db, StoreBenchData::kRooms, "roomlist.fill");
    }
    QTemporaryDir dir;
    const QString copy = copyWithRooms(file, dir, kManyRooms);
    if (!copy.isEmpty()) {
        DBManager db(copy, QStringLiteral("Veltri5000"), QString::fromLatin1(DBManager::kPassword),
                     0);
        many.value = measureFill(db, kManyRooms, "roomlist.fill.5000");
    }
    const bool ok = MtBench::print(figure);
    return MtBench::print(many) && ok ? 0 : 1;
}
