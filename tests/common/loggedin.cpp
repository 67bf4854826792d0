#include "common/loggedin.h"

#include "common/devserver.h"
#include "common/wait.h"

#include "net/serverconfig.h"

#include <QSignalSpy>

LoggedIn::LoggedIn(const DevServer& server, const QString& account, const QString& password,
                   const QString& device, bool waitForBroker)
    : session(std::make_unique<MtSession>(ServerConfig::fromFile(server.clientIni())))
{
    session->setChatWindows(&windows);
    QSignalSpy ready(session.get(), &MtSession::roomsReady);
    QSignalSpy failed(session.get(), &MtSession::loginFailed);
    QSignalSpy connected(session.get(), &MtSession::messagingConnected);
    ok = session->login(account, password, false, device) &&
         waitUntil([&] { return !ready.isEmpty() || !failed.isEmpty(); }, 60000) &&
         !ready.isEmpty() &&
         (!waitForBroker || waitUntil([&] { return !connected.isEmpty(); }, 30000));
    error = failed.isEmpty() ? 0 : failed.first().at(0).toInt();
}
