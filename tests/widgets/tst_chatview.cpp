#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatdateitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchattextbrowser.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtmychatitem.h"

#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

namespace {
QDateTime at(int day, int hour, int minute)
{
    return QDateTime(QDate(2024, 3, 4).addDays(day), QTime(hour, minute));
}

// One step of building a conversation as the chat window does.
struct Step
{
    enum Kind
    {
        Add,
        AddHistory,
        Remove
    };
    Kind kind = Add;
    QString id;
    int ownState = -1; // -1: another member's settled message; else an own one in this state
    QDateTime time;
};

// Steps written "[^]id[:state]@when" ("^" adds history at the top, "when" is a minute after
// 09:00 of the first day or "day.hour"), or "-id" to take a message out.
QList<Step> steps(const QString& text)
{
    QList<Step> list;
    for (const QString& word : text.split(QLatin1Char(' '))) {
        Step step;
        if (word.startsWith(QLatin1Char('-'))) {
            step.kind = Step::Remove;
            step.id = word.mid(1);
            list << step;
            continue;
        }
        step.kind = word.startsWith(QLatin1Char('^')) ? Step::AddHistory : Step::Add;
        const QString head =
            word.section(QLatin1Char('@'), 0, 0).mid(step.kind == Step::Add ? 0 : 1);
        step.id = head.section(QLatin1Char(':'), 0, 0);
        step.ownState =
            head.contains(QLatin1Char(':')) ? head.section(QLatin1Char(':'), 1).toInt() : -1;
        const QStringList when = word.section(QLatin1Char('@'), 1).split(QLatin1Char('.'));
        step.time =
            when.size() == 1 ? at(0, 9, when[0].toInt()) : at(when[0].toInt(), when[1].toInt(), 0);
        list << step;
    }
    return list;
}

// One row of the view: a day separator with its label, or a message.
struct Row
{
    bool separator = false;
    QString id; // messages only
    QDate day;  // of the message, or the day the separator announces
    QString label;

    bool operator==(const Row& o) const
    {
        return separator == o.separator && id == o.id && day == o.day && label == o.label;
    }
};

Row separatorRow(const QDate& day)
{
    return Row{true, QString(), day, MtChatText::dateText(day)};
}

// The rows expected from the steps, written as the ids shown top to bottom with "|" for a
// separator, which announces the day of the message below it.
QList<Row> rowsShown(const QList<Step>& built, const QString& order)
{
    QHash<QString, QDate> dayOf;
    for (const Step& step : built)
        dayOf[step.id] = step.time.date();
    const QStringList words = order.split(QLatin1Char(' '));
    QList<Row> rows;
    for (int i = 0; i < words.size(); ++i) {
        const bool separator = words[i] == QLatin1String("|");
        rows << (separator ? separatorRow(dayOf.value(words.value(i + 1)))
                           : Row{false, words[i], dayOf.value(words[i]), QString()});
    }
    return rows;
}

Row rowOf(const MtChatBaseItem* item)
{
    auto* date = qobject_cast<const MtChatDateItem*>(item);
    return date ? Row{true, QString(), date->dateTime().date(), date->text()}
                : Row{false, item->messageId(), item->dateTime().date(), QString()};
}

// What a stored chat became: the item's type and display state, and for texts the text shown;
// type 0 when no item was made.
struct Shown
{
    int type = 0;
    int state = 0;
    QString text;

    bool operator==(const Shown& o) const
    {
        return type == o.type && state == o.state && text == o.text;
    }
};

Shown shownOf(const MtChatBaseItem* item)
{
    const int type = item ? item->itemType() : 0;
    const bool text =
        type == MtChatBaseItem::ItemType_Chat || type == MtChatBaseItem::ItemType_MyChat;
    return item ? Shown{type, item->state(), text ? item->content() : QString()} : Shown{};
}
} // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(Row)
Q_DECLARE_METATYPE(Shown)

namespace QTest {
template <>
char* toString(const Row& r)
{
    const QString text =
        r.separator
            ? QStringLiteral("separator %1 \"%2\"").arg(r.day.toString(Qt::ISODate), r.label)
            : QStringLiteral("message %1 of %2").arg(r.id, r.day.toString(Qt::ISODate));
    return qstrdup(text.toUtf8().constData());
}
template <>
char* toString(const Shown& s)
{
    const QString text = QStringLiteral("type 0x%1, state %2, text \"%3\"")
                             .arg(QString::number(s.type, 16))
                             .arg(s.state)
                             .arg(s.text);
    return qstrdup(text.toUtf8().constData());
}
} // namespace QTest

class TestChatView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void order_data();
    void order();
    void clearResetsEverything();
    void scrolling();
    void addChat_data();
    void addChat();

private:
    MtChatBaseItem* add(MtChatWidget& view, const QString& id, const QDateTime& time)
    {
        return apply(view, Step{Step::Add, id, -1, time});
    }
    // Applies a step and returns what looking its id up must find now: the item added; after a
    // removal nothing, provided the item taken out (deleted later) no longer refers to its entry.
    MtChatBaseItem* apply(MtChatWidget& view, const Step& step);
};

void TestChatView::initTestCase()
{
    mtInitResources();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

MtChatBaseItem* TestChatView::apply(MtChatWidget& view, const Step& step)
{
    if (step.kind == Step::Remove) {
        MtChatBaseItem* gone = view.findItem(step.id);
        delete view.takeItem(view.row(gone->listItem()));
        gone->deleteLater();
        return gone->listItem() ? gone : nullptr;
    }
    const bool history = step.kind == Step::AddHistory;
    if (step.ownState >= 0)
        return view.addMyChatMessage(step.id, {}, QStringLiteral("Me"), 1, step.time, step.id, 1, 0,
                                     step.ownState, history);
    return view.addChatMessage(step.id, {}, QStringLiteral("Alice"), 2, step.time, step.id, 1, 0,
                               16, history);
}

void TestChatView::order_data()
{
    QTest::addColumn<QList<Step>>("built");
    QTest::addColumn<QList<Row>>("expected");
    const std::pair<const char*, std::pair<const char*, const char*>> rows[] = {
        {"settled rows in time order", {"a@10 b@5 c@20 d@1", "| d b a c"}},
        {"the same time goes after", {"a@1 b@2 c@2", "| a b c"}},
        {"sending own one below a later one", {"p:0@10 o@20", "| o p"}},
        {"unsettled ones in time order", {"p1:0@30 p2:0@10 o@5", "| o p2 p1"}},
        {"failed is not settled either", {"o@1 f:1@3 p:0@8 g:1@5", "| o f g p"}},
        {"flag 16 with other bits is settled", {"o@1 p:0@2 s:17@5", "| o s p"}},
        {"a confirmed copy replaces the pending one", {"m:0@10 t@20 -m m:16@12", "| m t"}},
        {"two days, a late one joins its day", {"a@0.9 b@0.22 c@1.8 z@0.23", "| a b z | c"}},
        {"separator reused at the bottom", {"a@0.9 b@1.9 -b c@2.9", "| a | c"}},
        {"history gets its own separator", {"t@1.9 ^o@0.18 ^oo@0.7", "| oo o | t"}},
        {"history into an empty view", {"^h@0.7", "| h"}}};
    for (const auto& [name, row] : rows) {
        const QList<Step> built = steps(QString::fromLatin1(row.first));
        QTest::newRow(name) << built << rowsShown(built, QString::fromLatin1(row.second));
    }
}

void TestChatView::order()
{
    QFETCH(QList<Step>, built);
    QFETCH(QList<Row>, expected);
    MtChatWidget view;
    for (const Step& step : built) {
        const MtChatBaseItem* found = apply(view, step);
        QCOMPARE(view.findItem(step.id), found);
    }
    QList<Row> shown;
    for (int row = 0; row < view.count(); ++row)
        shown << rowOf(view.chatItem(row));
    QCOMPARE(shown, expected);
    QCOMPARE(view.dateItemCount(), int(std::count_if(expected.begin(), expected.end(),
                                                     [](const Row& r) { return r.separator; })));
    QCOMPARE(view.topDate(), expected.first().day);
    QCOMPARE(view.bottomDate(), expected.last().day);
    // Separators have no message id: an empty id finds nothing.
    QCOMPARE(view.findItem(QString()), nullptr);
    QCOMPARE(view.findItem(QStringLiteral("nothing")), nullptr);
}

void TestChatView::clearResetsEverything()
{
    MtChatWidget view;
    add(view, QStringLiteral("a"), at(0, 9, 0));
    add(view, QStringLiteral("b"), at(1, 9, 0));
    view.showNewMessage(QStringLiteral("x"));
    view.clear();
    QCOMPARE(view.count(), 0);
    QVERIFY(!view.bottomDate().isValid() && !view.topDate().isValid());
    QVERIFY(view.newMessageButton()->isHidden());
    // The separators die later; the count stays right.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(view.dateItemCount(), 0);
    add(view, QStringLiteral("c"), at(2, 9, 0));
    QCOMPARE(view.dateItemCount(), 1);
    // A separator removed by the window lowers the count when it is destroyed.
    QWidget* separator = view.chatItem(0);
    delete view.takeItem(0);
    delete separator;
    QCOMPARE(view.dateItemCount(), 0);
}

void TestChatView::scrolling()
{
    MtChatWidget view;
    view.resize(320, 240);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    add(view, QStringLiteral("only"), at(0, 9, 0));
    QVERIFY(view.isScrolledToBottom());
    for (int i = 0; i < 30; ++i)
        add(view, QString::number(i), at(0, 10, i));
    view.scrollToBottom();
    QTRY_VERIFY(view.isScrolledToBottom());

    view.scrollToTop();
    QVERIFY(!view.isScrolledToBottom());
    QPushButton* bar = view.newMessageButton();
    const QString text = QStringLiteral("Alice : a long message that will not fit on the bar at "
                                        "this width,\n  so it is shortened");
    view.showNewMessage(text);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->toolTip(), text);
    QVERIFY(bar->text().endsWith(QChar(0x2026)) && !bar->text().contains(QLatin1Char('\n')));
    // Elided to the bar's width, not to whatever width the button had before it was placed.
    QVERIFY(bar->fontMetrics().horizontalAdvance(bar->text()) >
            bar->width() - bar->iconSize().width() - 15 -
                3 * bar->fontMetrics().averageCharWidth());
    QCOMPARE(bar->size(), QSize(view.viewport()->width() - 1, 30));
    QCOMPARE(bar->geometry().bottom(), view.viewport()->geometry().bottom());
    // Scrolling down to the end hides the bar; clicking it goes to the end.
    view.scrollToBottom();
    QTRY_VERIFY(bar->isHidden());
    view.scrollToTop();
    view.showNewMessage(QStringLiteral("Bob : hi"));
    QCOMPARE(bar->text(), QStringLiteral("Bob : hi"));
    bar->click();
    QVERIFY(bar->isHidden());
    QTRY_VERIFY(view.isScrolledToBottom());

    // The top is announced when reached by wheel or keys, and when dragging only on release.
    QScrollBar* slider = view.verticalScrollBar();
    QSignalSpy top(&view, &MtChatWidget::movedToTop);
    slider->setValue(slider->maximum() / 2);
    slider->setValue(0);
    QCOMPARE(top.count(), 1);
    slider->setValue(slider->maximum());
    slider->setSliderDown(true);
    slider->setValue(slider->maximum() / 2);
    slider->setValue(0);
    QCOMPARE(top.count(), 1);
    slider->setSliderDown(false);
    QCOMPARE(top.count(), 2);
    // Letting go of the slider away from the top says nothing.
    slider->setValue(slider->maximum() / 2);
    slider->setSliderDown(true);
    slider->setSliderDown(false);
    QCOMPARE(top.count(), 2);

    // A bubble has nothing to scroll and leaves the wheel to the view.
    auto* bubble = qobject_cast<MtChatItem*>(view.findItem(QStringLiteral("25")));
    QWidget* box = bubble->messageBox()->viewport();
    const QPoint centre = box->rect().center();
    QWheelEvent wheel(QPointF(centre), QPointF(box->mapToGlobal(centre)), QPoint(0, 0),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(box, &wheel);
    QVERIFY(!wheel.isAccepted());
    QCOMPARE(bubble->messageBox()->verticalScrollBar()->maximum(), 0);
}

// A stored chat becomes the item of its kind, in the display state its stored state calls for.
void TestChatView::addChat_data()
{
    QTest::addColumn<int>("msgType");
    QTest::addColumn<int>("contentType");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<int>("msgState");
    QTest::addColumn<bool>("own");
    QTest::addColumn<Shown>("expected");
    QTest::addColumn<bool>("findable"); // by its message id afterwards
    QTest::newRow("own text sending")
        << 1 << 1 << "" << 0 << true << Shown{MtChatBaseItem::ItemType_MyChat, 0, "hello"} << true;
    QTest::newRow("own text failed")
        << 1 << 1 << "" << 2 << true << Shown{MtChatBaseItem::ItemType_MyChat, 1, "hello"} << true;
    QTest::newRow("own image uploading")
        << 1 << 2 << "" << 3 << true << Shown{MtChatBaseItem::ItemType_MyChatImage, 0, ""} << true;
    QTest::newRow("own video uploaded, unconfirmed")
        << 1 << 3 << "" << 4 << true << Shown{MtChatBaseItem::ItemType_MyChatImage, 1, ""} << true;
    QTest::newRow("own file upload failed")
        << 1 << 4 << "" << 5 << true << Shown{MtChatBaseItem::ItemType_MyChatFile, 1, ""} << true;
    QTest::newRow("long text sent as file")
        << 1 << 4 << "first lines" << 1 << true
        << Shown{MtChatBaseItem::ItemType_MyChat, 16, "first lines"} << true;
    QTest::newRow("other text, state ignored")
        << 1 << 1 << "" << 0 << false << Shown{MtChatBaseItem::ItemType_Chat, 16, "hello"} << true;
    QTest::newRow("other image") << 1 << 2 << "" << 1 << false
                                 << Shown{MtChatBaseItem::ItemType_ChatImage, 16, ""} << true;
    QTest::newRow("other file") << 1 << 4 << "" << 1 << false
                                << Shown{MtChatBaseItem::ItemType_ChatFile, 16, ""} << true;
    QTest::newRow("invitation") << 3 << 1 << "" << 1 << false
                                << Shown{MtChatBaseItem::ItemType_Alarm, 16, ""} << true;
    // A leave notice is shown but is no message to be found.
    QTest::newRow("leave") << 5 << 1 << "" << 1 << true
                           << Shown{MtChatBaseItem::ItemType_Alarm, 16, ""} << false;
    QTest::newRow("unknown content") << 1 << 9 << "" << 1 << false << Shown{} << false;
}

void TestChatView::addChat()
{
    QFETCH(int, msgType);
    QFETCH(int, contentType);
    QFETCH(QString, preview);
    QFETCH(int, msgState);
    QFETCH(bool, own);
    QFETCH(Shown, expected);
    QFETCH(bool, findable);
    MtChatWidget view;
    DBChat chat;
    chat.setMsgId(QStringLiteral("m1"));
    chat.setMsgType(msgType);
    chat.setContent(contentType, QStringLiteral("hello"));
    chat.setContentType(contentType);
    chat.setPreviewText(preview);
    chat.setMsgState(msgState);
    chat.setMsgTime(at(0, 9, 0).toMSecsSinceEpoch());
    QCOMPARE(shownOf(view.addChat(chat, own, QPixmap(), QPixmap(), false)), expected);
    QCOMPARE(view.findItem(QStringLiteral("m1")) != nullptr, findable);
}

QTEST_MAIN(TestChatView)
#include "tst_chatview.moc"
