// The new-message toasts on the offscreen platform.
#include "common/typed.h"

#include "notify/toastchatmessage.h"
#include "notify/toaststack.h"
#include "resources/mtresources.h"

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
        QTest::newRow("stacked upwards, a room's next message in its toast")
            << 8 << Steps{"A", "B", "C", "A"} << Stacked{{{"A", 0}, {"B", 1}, {"C", 2}}, 0, true};
        QTest::newRow("the lowest closed: its place is the next toast's")
            << 8 << Steps{"A", "B", "-A", "C", "D"}
            << Stacked{{{"B", 1}, {"C", 0}, {"D", 2}}, 0, true};
        QTest::newRow("full: the top, not above it")
            << 2 << Steps{"A", "B", "C"} << Stacked{{{"A", 0}, {"B", 1}, {"C", 1}}, 1, true};
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
};

QTEST_MAIN(TestNotify)
#include "tst_notify.moc"
