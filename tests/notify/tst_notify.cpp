// The new-message toasts on the offscreen platform.
#include "common/typed.h"

#include "notify/toastchatmessage.h"
#include "notify/toaststack.h"
#include "resources/mtresources.h"

#include <QApplication>
#include <QToolButton>
#include <QtTest>

#include <algorithm>

namespace {
// A message for the room; the room's toast closed by its button ("-A"), or clicked after a
// release without a press ("+A").
using Steps = QStringList;

// Each room's place in toast heights from the bottom, overlaps, all inside at the right edge; the
// rooms the clicks reported and the toasts still in memory.
struct Stacked
{
    QList<std::pair<QString, int>> places; // by topic
    int overlaps = 0;
    bool inArea = true;
    QStringList clicked;
    int alive = 0;
    MT_TYPED(Stacked, places, overlaps, inArea, clicked, alive)
};

// In an area as high as `fit` toasts, not at the screen's origin.
Stacked run(int fit, const Steps& steps)
{
    const QSize size = ToastChatMessage().size();
    const QRect area(100, 50, 3 * size.width(), fit * size.height());
    ToastStack stack;
    stack.setAvailableArea([area] { return area; });
    Stacked seen;
    QObject::connect(&stack, &ToastStack::toastClicked,
                     [&](const QString& topic) { seen.clicked << topic; });
    QMap<QString, ToastChatMessage*> shown; // by topic
    for (const QString& step : steps) {
        ToastChatMessage* toast = shown.value(step.mid(1));
        if (step.startsWith('-'))
            QTest::mouseClick(toast->findChild<QToolButton*>("closeButton"), Qt::LeftButton);
        if (step.startsWith('+')) {
            QTest::mouseRelease(toast, Qt::LeftButton);
            QTest::mouseClick(toast, Qt::LeftButton);
        }
        if (step.at(0).isLetter())
            shown[step] = stack.showMessage(step, QStringLiteral("Kim"), QStringLiteral("hi"),
                                            QPixmap(), 60000);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
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
    // The toasts closed are freed, not kept hidden.
    const QWidgetList windows = QApplication::topLevelWidgets();
    seen.alive = int(std::count_if(windows.begin(), windows.end(),
                                   [](QWidget* w) { return qobject_cast<ToastChatMessage*>(w); }));
    return seen;
}

} // namespace

Q_DECLARE_METATYPE(Stacked)

class TestNotify : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mtInitResources(); }

    // One toast per room, stacked upwards; a closed place is the next one's; a full area holds all;
    // a click reports its room, a close reports nothing, and both free the toast.
    void stack_data()
    {
        QTest::addColumn<int>("fit");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<Stacked>("expected");
        QTest::newRow("stacked upwards, a room's next message in its toast")
            << 8 << Steps{"A", "B", "C", "A"}
            << Stacked{{{"A", 0}, {"B", 1}, {"C", 2}}, 0, true, {}, 3};
        QTest::newRow("the lowest closed: its place is the next toast's")
            << 8 << Steps{"A", "B", "-A", "C", "D"}
            << Stacked{{{"B", 1}, {"C", 0}, {"D", 2}}, 0, true, {}, 3};
        QTest::newRow("clicked: reported once, its place the next toast's")
            << 8 << Steps{"A", "B", "+A", "C"} << Stacked{{{"B", 1}, {"C", 0}}, 0, true, {"A"}, 2};
        QTest::newRow("full: the top, not above it")
            << 2 << Steps{"A", "B", "C"} << Stacked{{{"A", 0}, {"B", 1}, {"C", 1}}, 1, true, {}, 3};
    }
    void stack()
    {
        QFETCH(int, fit);
        QFETCH(Steps, steps);
        QFETCH(Stacked, expected);
        QCOMPARE(run(fit, steps), expected);
    }
};

QTEST_MAIN(TestNotify)
#include "tst_notify.moc"
