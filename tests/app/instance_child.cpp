// Prints "primary" then "received <message>" until "quit"; a later start "sent <0|1>".
#include "app/qtsingleapplication.h"

#include <cstdio>

namespace {
void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    QtSingleApplication app(QStringLiteral("PLOVEX(Chat)"), argc, argv);
    if (app.isRunning()) {
        say(QStringLiteral("sent %1").arg(int(app.sendMessage(app.arguments().value(1), 5000))));
        return 0;
    }
    QObject::connect(&app, &QtSingleApplication::messageReceived, &app,
                     [&app](const QString& message) {
                         say(QStringLiteral("received ") + message);
                         if (message == QLatin1String("quit"))
                             app.quit();
                     });
    say(QStringLiteral("primary"));
    return app.exec();
}
