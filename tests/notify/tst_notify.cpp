// The new-message toasts, the alarm indicator and the taskbar alert on the offscreen platform.
#include "common/typed.h"

#include "notify/alarmwidget.h"
#include "notify/backalertdialog.h"
#include "notify/toastchatmessage.h"
#include "notify/toaststack.h"
#include "resources/mtresources.h"

#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <algorithm>

namespace {
// A message for the room, or the room's toast closed ("-A").
using Steps = QStringList;

// Each room's place in toast heights from the bottom, overlaps, all inside at the right edge.
struct Stacked
{
    QList<std::pair<QString, int>> places; // by topic
    int overlaps = 0;
    bool inArea = true;
    MT_TYPED(Stacked, places, overlaps, inArea)
};

Stacked run(const QRect& area, const Steps& steps)
{
    ToastStack stack;
    stack.setAvailableArea([area] { return area; });
    for (const QString& step : steps) {
        const QList<ToastChatMessage*> open = stack.toasts();
        const auto toast = std::find_if(open.begin(), open.end(), [&](ToastChatMessage* t) {
            return QLatin1Char('-') + t->topic() == step;
        });
        if (toast != open.end())
            (*toast)->close();
        else
            stack.showMessage(step, QStringLiteral("Kim"), QStringLiteral("hi"), QPixmap(), 60000);
    }
    Stacked seen;
    const QList<ToastChatMessage*> toasts = stack.toasts();
    for (int i = 0; i < toasts.size(); ++i) {
        const QRect place = toasts.at(i)->geometry();
        seen.places.append(
            {toasts.at(i)->topic(), (area.bottom() - place.bottom()) / place.height()});
        seen.inArea = seen.inArea && area.contains(place) && place.right() == area.right();
        for (int j = i + 1; j < toasts.size(); ++j)
            seen.overlaps += place.intersects(toasts.at(j)->geometry());
    }
    std::sort(seen.places.begin(), seen.places.end());
    return seen;
}

// A toast's state: shown, opacity in percent, fading, pinned.
struct ToastState
{
    bool visible = false;
    int opacity = 0;
    bool fading = false;
    bool pinned = false;
    MT_TYPED(ToastState, visible, opacity, fading, pinned)
};
ToastState stateOf(const ToastChatMessage& toast)
{
    return {toast.isVisible(), qRound(toast.opacity() * 100), toast.isFading(), toast.isPinned()};
}
} // namespace

Q_DECLARE_METATYPE(Stacked)

class TestNotify : public QObject
{
    Q_OBJECT
private:
    // An area as high as `toasts` toasts, not at the screen's origin.
    static QRect area(int toasts)
    {
        const QSize toast = ToastChatMessage().size();
        return QRect(100, 50, 3 * toast.width(), toasts * toast.height());
    }

private slots:
    void initTestCase() { mtInitResources(); }

    // One toast per room, stacked upwards; a closed place is the next one's; a full area holds all.
    void stack_data()
    {
        QTest::addColumn<int>("fit");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<Stacked>("expected");
        QTest::newRow("three rooms stack upwards")
            << 8 << Steps{"A", "B", "C"} << Stacked{{{"A", 0}, {"B", 1}, {"C", 2}}, 0, true};
        QTest::newRow("a room's next message reuses its toast")
            << 8 << Steps{"A", "B", "A"} << Stacked{{{"A", 0}, {"B", 1}}, 0, true};
        QTest::newRow("the lowest closed: its place is the next toast's")
            << 8 << Steps{"A", "B", "-A", "C", "D"}
            << Stacked{{{"B", 1}, {"C", 0}, {"D", 2}}, 0, true};
        QTest::newRow("a closed room gets a new toast")
            << 8 << Steps{"A", "-A", "A"} << Stacked{{{"A", 0}}, 0, true};
        QTest::newRow("full: the top, not above it")
            << 2 << Steps{"A", "B", "C"} << Stacked{{{"A", 0}, {"B", 1}, {"C", 1}}, 1, true};
        // Three of four closed in every order: each new toast takes the place just freed.
        const QStringList rooms{"A", "B", "C"};
        QStringList order = rooms;
        do {
            Steps steps{"A", "B", "C", "D"};
            Stacked expected{{{"D", 3}}, 0, true};
            for (int i = 0; i < order.size(); ++i) {
                steps << "-" + order.at(i) << QStringLiteral("N%1").arg(i);
                expected.places.append(
                    {QStringLiteral("N%1").arg(i), int(rooms.indexOf(order.at(i)))});
            }
            std::sort(expected.places.begin(), expected.places.end());
            QTest::newRow(qPrintable("closed " + order.join(QLatin1Char(','))))
                << 8 << steps << expected;
        } while (std::next_permutation(order.begin(), order.end()));
    }
    void stack()
    {
        QFETCH(int, fit);
        QFETCH(Steps, steps);
        QFETCH(Stacked, expected);
        QCOMPARE(run(area(fit), steps), expected);
    }

    // A bare release does nothing; a click reports once and frees the toast; close reports nothing.
    void clickCloses_data()
    {
        QTest::addColumn<bool>("closeButton");
        QTest::addColumn<QStringList>("reported");
        QTest::newRow("click") << false << QStringList{"chat/7"};
        QTest::newRow("close button") << true << QStringList{};
    }
    void clickCloses()
    {
        QFETCH(bool, closeButton);
        QFETCH(QStringList, reported);
        ToastStack toasts;
        toasts.setAvailableArea([] { return area(8); });
        QPointer<ToastChatMessage> toast =
            toasts.showMessage(QStringLiteral("chat/7"), QStringLiteral("Kim"),
                               QStringLiteral("hi"), QPixmap(), 60000);
        QSignalSpy clicked(&toasts, &ToastStack::toastClicked);
        QSignalSpy closed(toast.data(), &ToastChatMessage::windowClosed);
        QTest::mouseRelease(toast.data(), Qt::LeftButton);
        QWidget* target = closeButton ? toast->findChild<QToolButton*>("closeButton")
                                      : static_cast<QWidget*>(toast.data());
        QTest::mouseClick(target, Qt::LeftButton);
        QStringList seen;
        for (const QList<QVariant>& args : clicked)
            seen << args.at(0).toString();
        QCOMPARE(seen, reported);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(toasts.toasts().size(), 0);
        QTRY_VERIFY(toast.isNull());
    }

    // The sender's picture, whatever its shape, shows in the toast.
    void picture()
    {
        ToastChatMessage toast;
        QPixmap red(100, 60);
        red.fill(Qt::red);
        toast.setMessage(QStringLiteral("chat/3"), QStringLiteral("박영희"),
                         QStringLiteral("안녕하세요"), red);
        const QImage shown = toast.findChild<QLabel*>(QStringLiteral("iconLabel"))
                                 ->pixmap(Qt::ReturnByValue)
                                 .toImage();
        QCOMPARE(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::red));
    }

    // A toast pinned in time stays whole while another fades and closes.
    void pinnedStays()
    {
        ToastStack toasts;
        toasts.setAvailableArea([] { return area(8); });
        ToastChatMessage* pinned = toasts.showMessage(QStringLiteral("A"), QStringLiteral("Kim"),
                                                      QString(), QPixmap(), 30);
        pinned->findChild<QToolButton*>(QStringLiteral("fixButton"))->click();
        ToastChatMessage* sentinel = toasts.showMessage(QStringLiteral("B"), QStringLiteral("Lee"),
                                                        QString(), QPixmap(), 30);
        QSignalSpy sentinelClosed(sentinel, &ToastChatMessage::windowClosed);
        QVERIFY(sentinelClosed.wait(5000));
        QCOMPARE(stateOf(*pinned), (ToastState{true, 100, false, true}));
        QSignalSpy pinnedClosed(pinned, &ToastChatMessage::windowClosed);
        pinned->findChild<QToolButton*>(QStringLiteral("fixButton"))->click();
        QVERIFY(pinnedClosed.wait(5000));
    }

    // Reuse makes a toast whole; a pin holds a fade; display time 0 fades out and closes at once.
    void pinnedWhileFading()
    {
        ToastChatMessage toast;
        toast.reset();
        toast.QFrame::show();
        toast.timerTimeOut();
        toast.timerTimeOut();
        toast.reset();
        QCOMPARE(stateOf(toast), (ToastState{true, 100, false, false}));
        toast.timerTimeOut();
        toast.timerTimeOut();
        toast.on_fixButton_clicked(true);
        const ToastState held = stateOf(toast);
        ToastChatMessage sentinel;
        QSignalSpy sentinelClosed(&sentinel, &ToastChatMessage::windowClosed);
        sentinel.setDisplayTime(0);
        sentinel.reset();
        sentinel.show();
        QVERIFY(sentinelClosed.wait(5000));
        QCOMPARE(stateOf(sentinel), (ToastState{false, 0, true, false}));
        QCOMPARE(held.opacity > 0 && held.opacity < 100, true);
        QCOMPARE(stateOf(toast), (ToastState{true, held.opacity, true, true}));
        QSignalSpy closed(&toast, &ToastChatMessage::windowClosed);
        toast.on_fixButton_clicked(false);
        QVERIFY(closed.wait(5000));
    }

    // Shows the alarm state; a press or hideThis() hides it at once; it goes by itself later.
    void alarm()
    {
        QWidget window;
        window.resize(400, 600);
        window.show();
        AlarmWidget alarm(&window);
        alarm.showAlarm(false);
        QCOMPARE(alarm.isVisible(), true);
        QCOMPARE(alarm.alarmOn(), false);
        QTest::mousePress(&alarm, Qt::LeftButton);
        QCOMPARE(alarm.isVisible(), false);
        alarm.showAlarm(true);
        QCOMPARE(alarm.alarmOn(), true);
        alarm.hideThis();
        QCOMPARE(alarm.isVisible(), false);
        alarm.showAlarm(true);
        QCOMPARE(alarm.isVisible(), true);
        QTRY_VERIFY_WITH_TIMEOUT(!alarm.isVisible(), AlarmWidget::kDisplayMsec * 3);
    }

    // Brought to the front, the alert goes away and reports it; it is no longer the active one.
    void backAlert()
    {
        BackAlertDialog alert;
        QSignalSpy activated(&alert, &BackAlertDialog::onBackAlertActivate);
        alert.show();
        alert.activateWindow();
        QTRY_COMPARE(activated.count(), 1);
        QCOMPARE(alert.isVisible(), false);
        QCOMPARE(alert.active(), 0);
    }
};

QTEST_MAIN(TestNotify)
#include "tst_notify.moc"
