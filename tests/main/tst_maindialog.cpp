// The main window as the user handles it: an undecorated window that is moved by its title and
// resized by its edges, and that comes back when a second start asks for it.
#include "main/maindialog.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QtTest>

class TestMainDialog : public QObject
{
    Q_OBJECT
private slots:
    void dragged_data();
    void dragged();
    void showMessageRestoresTheWindow();

private:
    static void sendMouse(QWidget* w, QEvent::Type type, const QPoint& local,
                          Qt::MouseButtons buttons);
};

void TestMainDialog::sendMouse(QWidget* w, QEvent::Type type, const QPoint& local,
                               Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(local), QPointF(w->mapToGlobal(local)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void TestMainDialog::dragged_data()
{
    QTest::addColumn<QString>("grip"); // "title" or "right edge"
    QTest::addColumn<QPoint>("travel");
    QTest::addColumn<QPoint>("moved");
    QTest::addColumn<QSize>("grown");
    QTest::newRow("by the title") << "title" << QPoint(30, 20) << QPoint(30, 20) << QSize(0, 0);
    QTest::newRow("by the right edge")
        << "right edge" << QPoint(40, 0) << QPoint(0, 0) << QSize(40, 0);
}

void TestMainDialog::dragged()
{
    QFETCH(QString, grip);
    QFETCH(QPoint, travel);
    QFETCH(QPoint, moved);
    QFETCH(QSize, grown);

    MainDialog dialog;
    dialog.setGeometry(100, 100, 360, 600);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    const QRect before = dialog.geometry();

    // The press lands on the title text and reaches the window, as a click on it would.
    QWidget* pressed = &dialog;
    QPoint at(dialog.width() - 2, dialog.height() / 2);
    if (grip == QLatin1String("title")) {
        pressed = dialog.findChild<QLabel*>(QStringLiteral("titleLabel"));
        QVERIFY(pressed);
        at = pressed->rect().center();
    }
    sendMouse(pressed, QEvent::MouseButtonPress, at, Qt::LeftButton);
    const QPoint onWindow = pressed->mapTo(&dialog, at);
    sendMouse(&dialog, QEvent::MouseMove, onWindow + travel, Qt::LeftButton);
    sendMouse(&dialog, QEvent::MouseButtonRelease, onWindow + travel, Qt::NoButton);

    QCOMPARE(dialog.geometry().topLeft() - before.topLeft(), moved);
    QCOMPARE(dialog.geometry().size() - before.size(), grown);
}

void TestMainDialog::showMessageRestoresTheWindow()
{
    MainDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.hide();
    dialog.messageReceivedFromApplication(QStringLiteral("other"));
    QVERIFY(dialog.isHidden());
    dialog.showMinimized();
    dialog.messageReceivedFromApplication(QStringLiteral("show"));
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isMinimized());
}

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
