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

class TestChatView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void order();
    void clearResetsEverything();
    void scrolling();
    void addChat();

private:
    QDateTime at(int day, int hour, int minute) const
    {
        return QDateTime(QDate(2024, 3, 4).addDays(day), QTime(hour, minute));
    }
    // Others' settled messages, or own ones ("id:state") in that state.
    MtChatBaseItem* add(MtChatWidget& view, const QString& id, const QDateTime& time,
                        bool insertFirst = false);
};

void TestChatView::initTestCase()
{
    mtInitResources();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

MtChatBaseItem* TestChatView::add(MtChatWidget& view, const QString& id, const QDateTime& time,
                                  bool insertFirst)
{
    const QString name = id.section(QLatin1Char(':'), 0, 0);
    if (id.contains(QLatin1Char(':')))
        return view.addMyChatMessage(name, {}, QStringLiteral("Me"), 1, time, name, 1, 0,
                                     id.section(QLatin1Char(':'), 1).toInt(), insertFirst);
    return view.addChatMessage(name, {}, QStringLiteral("Alice"), 2, time, name, 1, 0, 16,
                               insertFirst);
}

void TestChatView::order()
{
    // Steps "[^]id[:state]@when", "^" adding history at the top, "when" a minute after 09:00
    // of the first day or "day.hour"; "-id" takes a message out as the chat window does. Then
    // the rows shown, "|" for a separator.
    const std::pair<QString, QString> rows[] = {
        {"a@10 b@5 c@20 d@1", "| d b a c"},           // settled rows in time order
        {"a@1 b@2 c@2", "| a b c"},                   // the same time goes after
        {"p:0@10 o@20", "| o p"},                     // sending own one below a later one
        {"p1:0@30 p2:0@10 o@5", "| o p2 p1"},         // unsettled ones in time order
        {"o@1 f:1@3 p:0@8 g:1@5", "| o f g p"},       // failed is not settled either
        {"o@1 p:0@2 s:17@5", "| o s p"},              // flag 16 with other bits is settled
        {"m:0@10 t@20 -m m:16@12", "| m t"},          // a confirmed copy replaces the pending one
        {"a@0.9 b@0.22 c@1.8 z@0.23", "| a b z | c"}, // two days, a late one joins its day
        {"a@0.9 b@1.9 -b c@2.9", "| a | c"},          // separator reused at the bottom
        {"t@1.9 ^o@0.18 ^oo@0.7", "| oo o | t"},      // history gets its own separator
        {"^h@0.7", "| h"}};                           // history into an empty view
    for (const auto& [steps, order] : rows) {
        MtChatWidget view;
        for (const QString& step : steps.split(QLatin1Char(' '))) {
            if (step.startsWith(QLatin1Char('-'))) {
                MtChatBaseItem* gone = view.findItem(step.mid(1));
                delete view.takeItem(view.row(gone->listItem()));
                // Until it is deleted the item no longer refers to its entry.
                QCOMPARE(gone->listItem(), nullptr);
                gone->deleteLater();
                continue;
            }
            const QStringList when = step.section(QLatin1Char('@'), 1).split(QLatin1Char('.'));
            const QDateTime time = when.size() == 1 ? at(0, 9, when[0].toInt())
                                                    : at(when[0].toInt(), when[1].toInt(), 0);
            const bool history = step.startsWith(QLatin1Char('^'));
            MtChatBaseItem* item =
                add(view, step.section(QLatin1Char('@'), 0, 0).mid(history ? 1 : 0), time, history);
            QCOMPARE(view.findItem(item->messageId()), item);
        }
        QStringList shown;
        QList<QDate> dates;
        for (int row = 0; row < view.count(); ++row) {
            const MtChatBaseItem* item = view.chatItem(row);
            shown << (item->itemType() == MtChatBaseItem::ItemType_Date ? QStringLiteral("|")
                                                                        : item->messageId());
            // Each separator shows the day of the messages below it.
            if (auto* date = qobject_cast<const MtChatDateItem*>(item)) {
                QVERIFY(row + 1 < view.count());
                dates << date->dateTime().date();
                QCOMPARE(dates.last(), view.chatItem(row + 1)->dateTime().date());
                QCOMPARE(date->text(), MtChatText::dateText(dates.last()));
            }
        }
        QCOMPARE(shown.join(QLatin1Char(' ')), order);
        QCOMPARE(view.dateItemCount(), dates.size());
        QCOMPARE(view.topDate(), dates.first());
        QCOMPARE(view.bottomDate(), dates.last());
        // Separators have no message id: an empty id finds nothing.
        QCOMPARE(view.findItem(QString()), nullptr);
        QCOMPARE(view.findItem(QStringLiteral("nothing")), nullptr);
    }
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

// A stored chat becomes the item of its kind, in the display state its stored state calls for:
// "<item type> <state>", for texts with the text shown; "-" when nothing is shown.
void TestChatView::addChat()
{
    const struct
    {
        const char* id;
        int msgType, contentType;
        const char* preview;
        int msgState;
        bool own;
        const char* shown;
    } rows[] = {{"own text sending", 1, 1, "", 0, true, "102 0 hello"},
                {"own text failed", 1, 1, "", 2, true, "102 1 hello"},
                {"own image uploading", 1, 2, "", 3, true, "104 0"},
                {"own video uploaded, unconfirmed", 1, 3, "", 4, true, "104 1"},
                {"own file upload failed", 1, 4, "", 5, true, "106 1"},
                {"long text sent as file", 1, 4, "first lines", 1, true, "102 16 first lines"},
                {"other text, state ignored", 1, 1, "", 0, false, "101 16 hello"},
                {"other image", 1, 2, "", 1, false, "103 16"},
                {"other file", 1, 4, "", 1, false, "105 16"},
                {"invitation", 3, 1, "", 1, false, "2 16"},
                {"leave", 5, 1, "", 1, true, "2 16"},
                {"unknown content", 1, 9, "", 1, false, "-"}};
    MtChatWidget view;
    QStringList shown, expected;
    for (const auto& r : rows) {
        DBChat chat;
        chat.setMsgId(QString::fromLatin1(r.id));
        chat.setMsgType(r.msgType);
        chat.setContent(r.contentType, r.contentType == 1 ? QStringLiteral("hello") : QString());
        chat.setContentType(r.contentType);
        chat.setPreviewText(QString::fromLatin1(r.preview));
        chat.setMsgState(r.msgState);
        chat.setMsgTime(at(0, 9, shown.size()).toMSecsSinceEpoch());
        const MtChatBaseItem* item = view.addChat(chat, r.own, QPixmap(), QPixmap(), false);
        const int type = item ? item->itemType() : 0;
        shown << (item ? QString::number(type, 16) + ' ' + QString::number(item->state())
                       : QStringLiteral("-"));
        if (type == MtChatBaseItem::ItemType_Chat || type == MtChatBaseItem::ItemType_MyChat)
            shown.last() += ' ' + item->content();
        expected << QString::fromLatin1(r.shown);
    }
    QCOMPARE(shown, expected);
    // A leave notice is no message to be found.
    QVERIFY(view.findItem(QStringLiteral("invitation")));
    QCOMPARE(view.findItem(QStringLiteral("leave")), nullptr);
}

QTEST_MAIN(TestChatView)
#include "tst_chatview.moc"
