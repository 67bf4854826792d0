// The main window as the user handles it: an undecorated window that is moved by its title and
// resized by its edges, and that comes back when a second start asks for it.
#include "main/maindialog.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QtTest>

namespace {
// Pressed on `w` at `at`, moved by `travel` and released; the move and the release go to the
// window, as they do while it grabs the mouse.
void drag(QWidget* w, const QPoint& at, const QPoint& travel)
{
    const auto send = [](QWidget* to, QEvent::Type type, const QPoint& local,
                         Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(local), QPointF(to->mapToGlobal(local)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(to, &event);
    };
    send(w, QEvent::MouseButtonPress, at, Qt::LeftButton);
    const QPoint end = w->mapTo(w->window(), at) + travel;
    send(w->window(), QEvent::MouseMove, end, Qt::LeftButton);
    send(w->window(), QEvent::MouseButtonRelease, end, Qt::NoButton);
}
} // namespace

class TestMainDialog : public QObject
{
    Q_OBJECT
private slots:
    void movedByTitleResizedByEdge();
    void showMessageRestoresTheWindow();
};

void TestMainDialog::movedByTitleResizedByEdge()
{
    MainDialog dialog;
    dialog.setGeometry(100, 100, 360, 600);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    const QRect before = dialog.geometry();
    // The press lands on the title text and reaches the window, as a click on it would.
    auto* title = dialog.findChild<QLabel*>(QStringLiteral("titleLabel"));
    QVERIFY(title);
    drag(title, title->rect().center(), QPoint(30, 20));
    QCOMPARE(dialog.geometry(), before.translated(30, 20));
    drag(&dialog, QPoint(dialog.width() - 2, dialog.height() / 2), QPoint(40, 0));
    QCOMPARE(dialog.geometry(), before.translated(30, 20).adjusted(0, 0, 40, 0));
}

void TestMainDialog::showMessageRestoresTheWindow()
{
    MainDialog dialog;
    dialog.messageReceivedFromApplication(QStringLiteral("other"));
    QVERIFY(dialog.isHidden());
    dialog.showMinimized();
    dialog.messageReceivedFromApplication(QStringLiteral("show"));
    QVERIFY(dialog.isVisible() && !dialog.isMinimized());
}

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
