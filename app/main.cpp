// Entry point: builds the single-instance application and either hands over to the instance that
// is already running or shows the main window and runs the event loop.
#include "account/settingsdialog.h"
#include "app/language.h"
#include "app/logging.h"
#include "app/qtsingleapplication.h"
#include "main/maindialog.h"
#include "platform/startupargs.h"
#include "resources/mtresources.h"
#include "store/mtdata.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QNetworkProxyFactory>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include <vector>

int main(int, char**)
{
    // The process's own command line is ignored; the application gets a fixed vector.
    QByteArrayList args = platformStartupArguments();
    std::vector<char*> argv;
    for (QByteArray& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int argc = int(args.size());

    // Qt reads this attribute only while the application object is being built, so it is set
    // first; set afterwards it would be ignored with a warning.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    // The windows draw without OpenGL. On X11 Qt would otherwise open GLX at start, and with
    // Mesa's software renderer that maps LLVM: half of the memory the program holds at the login
    // page. Read while the application object is built; a choice of the environment stays.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");

    QtSingleApplication app(QObject::tr("PLOVEX(Chat)"), argc, argv.data());
    QApplication::setApplicationName(QObject::tr("PLOVEX(Chat)"));
    QApplication::setApplicationVersion(QString::fromLatin1(MTData::kVersion));
    mtInitResources();
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    const QString staleLog =
        QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation).value(0) +
        QLatin1Char('/') + QApplication::applicationName() + QStringLiteral("/log.txt");
    if (QFile::exists(staleLog))
        QFile::remove(staleLog);

    qDebug().noquote() << "main() release mode";
    qInstallMessageHandler(MtLog::quietMessageHandler);
    // The settings dialog's hidden gesture switches the file log, which lives here above it.
    SettingsDialog::setLoggingSwitch([] {
        toggleFileLogging();
        return MtLog::isFileLogging();
    });
    initLanguage();

    if (app.isRunning()) {
        qDebug().noquote() << "send show message";
        const bool sent = app.sendMessage(QStringLiteral("show"), 2000);
        qDebug().noquote().nospace() << "send show message sendFlag:" << sent;
        return 0;
    }

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        QMessageBox::critical(nullptr, QObject::tr("PLOVEX(Chat)"),
                              QObject::tr("This OS does not support system tray"), QMessageBox::Ok);
        return 1;
    }

    QApplication::setQuitOnLastWindowClosed(false);
    auto* dialog = new MainDialog;
    dialog->show();
    QObject::connect(&app, &QtSingleApplication::messageReceived, dialog,
                     &MainDialog::messageReceivedFromApplication);
    const int result = app.exec();
    qDebug("main retn:%d", result);
    deleteTranslators();
    delete dialog;
    return result;
}
