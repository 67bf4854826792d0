// A signed-in session to be killed; reports "connected", "taken <n>", "store (un)available".
#include "messaging/mqttmanager.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"

#include <QCoreApplication>
#include <QStringList>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {
void say(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    DBManager db(args.at(1), QString::fromLatin1(DBManager::kConnection),
                 QString::fromLatin1(DBManager::kPassword), 1);
    if (!db.isOpen())
        return 3;
    MTData session(&db);
    DBEditor editor;
    session.setUserId(editor, args.at(5).toLongLong());
    session.setClientId(editor, args.at(4));

    MqttManager manager(args.at(1));
    QObject::connect(&manager, &MqttManager::connected, [] { say("connected"); });
    QObject::connect(&manager, &MqttManager::storeUnavailable, [] { say("store unavailable"); });
    QObject::connect(&manager, &MqttManager::storeAvailable, [] { say("store available"); });
    std::atomic<bool> done{false};
    std::thread taker([&] {
        int taken = 0;
        while (!done.load()) {
            if (!manager.waitForMessageItem(100))
                continue;
            while (auto item = manager.takeMessageItem())
                taken += item->type() == MqttManager::MessageItem::Chat ? 1 : 0;
            say("taken " + QByteArray::number(taken));
        }
    });
    manager.connectToHost(args.at(2), quint16(args.at(3).toUInt()), args.at(4), args.at(5),
                          args.at(6));
    const int rc = app.exec();
    done.store(true);
    taker.join();
    return rc;
}
