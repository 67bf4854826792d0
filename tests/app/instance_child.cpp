// Prints "primary" then "received <message>" until "quit"; a later start "sent <0|1>".
#include "app/qtsingleapplication.h"

#include <cstdio>

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0); // each line reaches the test as it is printed
    QtSingleApplication app(QStringLiteral("PLOVEX(Chat)"), argc, argv);
    if (app.isRunning()) {
        std::printf("sent %d\n", int(app.sendMessage(app.arguments().value(1), 5000)));
        return 0;
    }
    QObject::connect(&app, &QtSingleApplication::messageReceived, &app,
                     [&app](const QString& message) {
                         std::printf("received %s\n", qPrintable(message));
                         if (message == QLatin1String("quit"))
                             app.quit();
                     });
    std::printf("primary\n");
    return app.exec();
}
