// Toasts (placement, click, display time, pin), the alarm indicator and the taskbar alert, on
// the offscreen platform.
#include "notify/alarmwidget.h"
#include "notify/backalertdialog.h"
#include "notify/toastchatmessage.h"
#include "notify/toastslots.h"
#include "notify/toaststack.h"
#include "resources/mtresources.h"

#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <algorithm>

namespace {

const QRect kScreen(0, 0, 1000, 800);

// One step of a toast script: a message for the room, or the room's toast closed.
struct Step
{
    enum Kind
    {
        Message,
        Close
    } kind;
    QString topic;
};

Step message(const QString& topic)
{
    return {Step::Message, topic};
}

Step closing(const QString& topic)
{
    return {Step::Close, topic};
}

// The open toasts: where each room's toast is, how many overlap and whether all are on the
// screen.
struct Stacked
{
    QMap<QString, QPoint> places;
    int overlaps = 0;
    bool onScreen = true;

    bool operator==(const Stacked& o) const
    {
        return places == o.places && overlaps == o.overlaps && onScreen == o.onScreen;
    }
};

ToastChatMessage* toastOf(const ToastStack& stack, const QString& topic)
{
    const QList<ToastChatMessage*> toasts = stack.toasts();
    const auto found = std::find_if(toasts.begin(), toasts.end(),
                                    [&](ToastChatMessage* t) { return t->topic() == topic; });
    return found == toasts.end() ? nullptr : *found;
}

Stacked run(ToastStack& stack, const QList<Step>& steps)
{
    for (const Step& step : steps) {
        if (step.kind == Step::Message)
            stack.showMessage(step.topic, QStringLiteral("Kim"), QStringLiteral("hi"), QPixmap(),
                              60000);
        else if (ToastChatMessage* toast = toastOf(stack, step.topic))
            toast->close();
    }
    Stacked result;
    const QList<ToastChatMessage*> toasts = stack.toasts();
    for (int i = 0; i < toasts.size(); ++i) {
        result.places.insert(toasts.at(i)->topic(), toasts.at(i)->pos());
        result.onScreen = result.onScreen && kScreen.contains(toasts.at(i)->geometry());
        for (int j = i + 1; j < toasts.size(); ++j)
            result.overlaps += toasts.at(i)->geometry().intersects(toasts.at(j)->geometry());
    }
    return result;
}

struct ToastState
{
    bool visible;
    qreal opacity;
    bool fading;
    bool pinned;

    bool operator==(const ToastState& o) const
    {
        return visible == o.visible && qFuzzyCompare(opacity, o.opacity) && fading == o.fading &&
               pinned == o.pinned;
    }
};

ToastState stateOf(const ToastChatMessage& toast)
{
    return {toast.isVisible(), toast.opacity(), toast.isFading(), toast.isPinned()};
}

struct AlarmState
{
    QString styleSheet;
    QPoint pos;
    bool visible;

    bool operator==(const AlarmState& o) const
    {
        return styleSheet == o.styleSheet && pos == o.pos && visible == o.visible;
    }
};

} // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(Stacked)
Q_DECLARE_METATYPE(AlarmState)

namespace QTest {
template <>
char* toString(const Stacked& s)
{
    QStringList places;
    for (auto it = s.places.begin(); it != s.places.end(); ++it)
        places << QStringLiteral("%1@%2,%3").arg(it.key()).arg(it->x()).arg(it->y());
    return qstrdup(QStringLiteral("places=[%1] overlaps=%2 onScreen=%3")
                       .arg(places.join(QLatin1Char(' ')))
                       .arg(s.overlaps)
                       .arg(s.onScreen)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const ToastState& s)
{
    return qstrdup(QStringLiteral("visible=%1 opacity=%2 fading=%3 pinned=%4")
                       .arg(s.visible)
                       .arg(s.opacity)
                       .arg(s.fading)
                       .arg(s.pinned)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const AlarmState& s)
{
    return qstrdup(QStringLiteral("styleSheet=%1 pos=%2,%3 visible=%4")
                       .arg(s.styleSheet)
                       .arg(s.pos.x())
                       .arg(s.pos.y())
                       .arg(s.visible)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class TestNotify : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mtInitResources(); }

    void toastSlots_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QList<QRect>>("occupied");
        QTest::addColumn<QPoint>("expected");
        const QSize s(360, 100);
        QTest::newRow("empty screen: bottom right")
            << kScreen << QList<QRect>{} << QPoint(640, 700);
        QTest::newRow("above the lowest")
            << kScreen << QList<QRect>{{QPoint(640, 700), s}} << QPoint(640, 600);
        QTest::newRow("the gap a closed toast left")
            << kScreen << QList<QRect>{{QPoint(640, 700), s}, {QPoint(640, 500), s}}
            << QPoint(640, 600);
        QTest::newRow("list order unlike the screen's")
            << kScreen << QList<QRect>{{QPoint(640, 600), s}, {QPoint(640, 700), s}}
            << QPoint(640, 500);
        QTest::newRow("a toast moved half a slot")
            << kScreen << QList<QRect>{{QPoint(640, 650), s}} << QPoint(640, 550);
        QTest::newRow("elsewhere on the screen is no obstacle")
            << kScreen << QList<QRect>{{QPoint(0, 700), s}} << QPoint(640, 700);
        QTest::newRow("full screen: the top, not above it")
            << kScreen
            << QList<QRect>{{QPoint(640, 700), s}, {QPoint(640, 600), s}, {QPoint(640, 500), s},
                            {QPoint(640, 400), s}, {QPoint(640, 300), s}, {QPoint(640, 200), s},
                            {QPoint(640, 100), s}, {QPoint(640, 0), s}}
            << QPoint(640, 0);
        QTest::newRow("an area that does not start at 0")
            << QRect(100, 50, 1000, 800) << QList<QRect>{{QPoint(740, 750), s}} << QPoint(740, 650);
    }

    void toastSlots()
    {
        QFETCH(QRect, area);
        QFETCH(QList<QRect>, occupied);
        QFETCH(QPoint, expected);
        QCOMPARE(ToastSlots::place(area, QSize(360, 100), occupied), expected);
    }

    void stack_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<Stacked>("expected");
        QTest::newRow("three rooms stack upwards")
            << QList<Step>{message("A"), message("B"), message("C")}
            << Stacked{{{"A", {640, 700}}, {"B", {640, 600}}, {"C", {640, 500}}}, 0, true};
        QTest::newRow("a room's next message reuses its toast")
            << QList<Step>{message("A"), message("B"), message("A")}
            << Stacked{{{"A", {640, 700}}, {"B", {640, 600}}}, 0, true};
        QTest::newRow("the lowest closed first")
            << QList<Step>{message("A"), message("B"), closing("A"), message("C"), message("D")}
            << Stacked{{{"B", {640, 600}}, {"C", {640, 700}}, {"D", {640, 500}}}, 0, true};
        QTest::newRow("a closed room gets a new toast")
            << QList<Step>{message("A"), closing("A"), message("A")}
            << Stacked{{{"A", {640, 700}}}, 0, true};
    }

    void stack()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(Stacked, expected);
        ToastStack toasts;
        toasts.setAvailableArea([] { return kScreen; });
        QCOMPARE(run(toasts, steps), expected);
    }

    // Four toasts, three of them closed in every order with a new one after each close: never
    // an overlap.
    void stackNeverOverlaps_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QStringList order{"A", "B", "C"};
        do {
            QList<Step> steps{message("A"), message("B"), message("C"), message("D")};
            for (int i = 0; i < order.size(); ++i)
                steps << closing(order.at(i)) << message(QStringLiteral("N%1").arg(i));
            QTest::newRow(qPrintable(order.join(QLatin1Char(',')))) << steps;
        } while (std::next_permutation(order.begin(), order.end()));
    }

    void stackNeverOverlaps()
    {
        QFETCH(QList<Step>, steps);
        ToastStack toasts;
        toasts.setAvailableArea([] { return kScreen; });
        const Stacked result = run(toasts, steps);
        QCOMPARE(result.overlaps, 0);
        QCOMPARE(result.places.size(), 4);
        QCOMPARE(result.onScreen, true);
    }

    // A release without a press does nothing; a click reports the room once and closes the
    // toast, which leaves the stack and is freed.
    void clickCloses()
    {
        ToastStack toasts;
        toasts.setAvailableArea([] { return kScreen; });
        QPointer<ToastChatMessage> toast =
            toasts.showMessage(QStringLiteral("chat/7"), QStringLiteral("Kim"),
                               QStringLiteral("hi"), QPixmap(), 60000);
        QSignalSpy clicked(&toasts, &ToastStack::toastClicked);
        QSignalSpy closed(toast.data(), &ToastChatMessage::windowClosed);
        QTest::mouseRelease(toast.data(), Qt::LeftButton);
        QTest::mouseClick(toast.data(), Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toString(), QStringLiteral("chat/7"));
        QCOMPARE(closed.count(), 1);
        QCOMPARE(toasts.toasts().size(), 0);
        QTRY_VERIFY(toast.isNull());
    }

    // The close button closes without reporting the room.
    void closeButton()
    {
        ToastStack toasts;
        toasts.setAvailableArea([] { return kScreen; });
        ToastChatMessage* toast =
            toasts.showMessage(QStringLiteral("chat/7"), QStringLiteral("Kim"),
                               QStringLiteral("hi"), QPixmap(), 60000);
        QSignalSpy clicked(&toasts, &ToastStack::toastClicked);
        toast->findChild<QToolButton*>(QStringLiteral("closeButton"))->click();
        QCOMPARE(toasts.toasts().size(), 0);
        QCOMPARE(clicked.count(), 0);
    }

    // The sender's picture, whatever its shape, shows in the toast's fixed size.
    void picture()
    {
        ToastChatMessage toast;
        QPixmap red(100, 60);
        red.fill(Qt::red);
        toast.setMessage(QStringLiteral("chat/3"), QStringLiteral("박영희"),
                         QStringLiteral("안녕하세요"), red);
        const QLabel* icon = toast.findChild<QLabel*>(QStringLiteral("iconLabel"));
        const QImage shown = icon->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::red));
        QCOMPARE(toast.size(), QSize(360, 100));
    }

    // A display time of 0 fades at once, down to nothing, and closes.
    void fadesOut()
    {
        ToastChatMessage toast;
        QSignalSpy closed(&toast, &ToastChatMessage::windowClosed);
        toast.setDisplayTime(0);
        toast.reset();
        toast.show();
        QVERIFY(closed.wait(5000));
        QCOMPARE(stateOf(toast), (ToastState{false, 0.0, true, false}));
    }

    // Pinned before its time is over, a toast stays whole while another fades and closes;
    // unpinned, it goes on.
    void pinnedStays()
    {
        ToastStack toasts;
        toasts.setAvailableArea([] { return kScreen; });
        ToastChatMessage* pinned = toasts.showMessage(QStringLiteral("A"), QStringLiteral("Kim"),
                                                      QString(), QPixmap(), 30);
        pinned->findChild<QToolButton*>(QStringLiteral("fixButton"))->click();
        ToastChatMessage* sentinel = toasts.showMessage(QStringLiteral("B"), QStringLiteral("Lee"),
                                                        QString(), QPixmap(), 30);
        QSignalSpy sentinelClosed(sentinel, &ToastChatMessage::windowClosed);
        QVERIFY(sentinelClosed.wait(5000));
        QCOMPARE(stateOf(*pinned), (ToastState{true, 1.0, false, true}));
        QSignalSpy pinnedClosed(pinned, &ToastChatMessage::windowClosed);
        pinned->findChild<QToolButton*>(QStringLiteral("fixButton"))->click();
        QVERIFY(pinnedClosed.wait(5000));
    }

    // Pinned during the fade, it holds its opacity; unpinned, the fade goes on to the end.
    void pinnedWhileFading()
    {
        ToastChatMessage toast;
        toast.reset();
        toast.QFrame::show();
        toast.timerTimeOut();
        toast.timerTimeOut();
        toast.on_fixButton_clicked(true);
        QCOMPARE(stateOf(toast), (ToastState{true, 0.95, true, true}));
        QSignalSpy closed(&toast, &ToastChatMessage::windowClosed);
        toast.on_fixButton_clicked(false);
        QVERIFY(closed.wait(5000));
    }

    // A reused toast is whole again, with its display time ahead.
    void resetRestores()
    {
        ToastChatMessage toast;
        toast.reset();
        toast.QFrame::show();
        toast.timerTimeOut();
        toast.timerTimeOut();
        toast.reset();
        QCOMPARE(stateOf(toast), (ToastState{true, 1.0, false, false}));
    }

    void alarm_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QSize>("parentSize");
        QTest::addColumn<AlarmState>("expected");
        QTest::newRow("on") << true << QSize(400, 600)
                            << AlarmState{"background-image: url(:/images/alarm_on.png);",
                                          {140, 240},
                                          true};
        QTest::newRow("off") << false << QSize(400, 600)
                             << AlarmState{"background-image: url(:/images/alarm_off.png);",
                                           {140, 240},
                                           true};
        QTest::newRow("odd parent size rounds down")
            << true << QSize(401, 603)
            << AlarmState{"background-image: url(:/images/alarm_on.png);", {140, 241}, true};
    }

    void alarm()
    {
        QFETCH(bool, on);
        QFETCH(QSize, parentSize);
        QFETCH(AlarmState, expected);
        QWidget window;
        window.resize(parentSize);
        window.show();
        AlarmWidget alarm(&window);
        alarm.showAlarm(on);
        QCOMPARE((AlarmState{alarm.styleSheet(), alarm.pos(), alarm.isVisible()}), expected);
        QCOMPARE(alarm.alarmOn(), on);
        QTRY_VERIFY_WITH_TIMEOUT(!alarm.isVisible(), AlarmWidget::kDisplayMsec * 3);
    }

    // A press closes the indicator at once; showing it again brings it back.
    void alarmClosedByPress()
    {
        QWidget window;
        window.resize(400, 600);
        window.show();
        AlarmWidget alarm(&window);
        alarm.showAlarm(false);
        QTest::mousePress(&alarm, Qt::LeftButton);
        QCOMPARE(alarm.isVisible(), false);
        alarm.showAlarm(true);
        QCOMPARE(alarm.isVisible(), true);
        alarm.hideThis();
        QCOMPARE(alarm.isVisible(), false);
    }

    // Brought to the front, the alert goes away and reports it; dismissed, it is no longer the
    // active one.
    void backAlert()
    {
        BackAlertDialog alert;
        QSignalSpy activated(&alert, &BackAlertDialog::onBackAlertActivate);
        alert.show();
        alert.activateWindow();
        QTRY_COMPARE(activated.count(), 1);
        QCOMPARE(alert.isVisible(), false);
        QCOMPARE(alert.active(), 0);
        QCOMPARE(alert.windowTitle(), QStringLiteral("PLOVEX(Chat)"));
        QCOMPARE(alert.findChild<QLabel*>(QStringLiteral("label"))->text(),
                 QStringLiteral("PLOVEX(Chat)"));
    }
};

QTEST_MAIN(TestNotify)
#include "tst_notify.moc"
