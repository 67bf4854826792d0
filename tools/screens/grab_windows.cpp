// Renders every window and dialog of the program to PNG files, in the language of the system
// (LANG) and at the scale of QT_SCALE_FACTOR, for review and for the README:
//
//   grab_windows <folder> <file suffix>      e.g. grab_windows grabs _ko@2x
//
// Each window is brought up by the window tour against a reference server of its own, with the
// translations loaded the way the program loads them. Exits 1 when a window could not be shown.
#include "app/language.h"
#include "resources/mtresources.h"
#include "windowtour.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
    QTextStream err(stderr);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        err << "usage: grab_windows <folder> <file suffix>\n";
        return 2;
    }
    const QDir out(args.at(1));
    const QString suffix = args.at(2);
    if (!QDir().mkpath(out.path())) {
        err << "grab_windows: cannot make " << out.path() << '\n';
        return 1;
    }
    mtInitResources();
    initLanguage();

    WindowTour tour;
    if (!tour.start()) {
        err << "grab_windows: " << tour.errorString() << '\n';
        return 1;
    }
    int status = 0;
    for (const WindowTour::Stop& stop : tour.stops()) {
        QWidget* window = stop.show();
        if (!window) {
            err << "grab_windows: " << stop.name << " could not be shown\n";
            status = 1;
            continue;
        }
        window->show();
        window->raise();
        // Queued work and painting settle; a picture for the eye, not a test.
        QEventLoop settle;
        QTimer::singleShot(400, &settle, &QEventLoop::quit);
        settle.exec();
        const QString file = out.filePath(stop.name + suffix + QStringLiteral(".png"));
        if (!window->grab().save(file)) {
            err << "grab_windows: cannot write " << file << '\n';
            status = 1;
        }
        if (stop.owned) {
            window->close();
            delete window;
        }
    }
    deleteTranslators();
    return status;
}
