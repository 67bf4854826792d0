#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatdateitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchatrow.h"
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
    void insertionOrder_data();
    void insertionOrder();
    void confirmedCopyReplacesPending();
    void dateSeparators_data();
    void dateSeparators();
    void clearResetsEverything();
    void scrolledToBottomAndNewMessageBar();
    void movedToTop_data();
    void movedToTop();
    void findItemAndForwardedSignals();
    void rowFromChat_data();
    void rowFromChat();
    void addChatFromRecord();

private:
    QString messageOrder(const MtChatWidget& view) const; // "|" for a separator
    QDateTime at(int day, int hour, int minute) const
    {
        return QDateTime(QDate(2024, 3, 4).addDays(day), QTime(hour, minute));
    }
    MtChatBaseItem* addText(MtChatWidget& view, const QString& id, bool own, int state,
                            const QDateTime& time, bool insertFirst = false);
};

void TestChatView::initTestCase()
{
    mtInitResources();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

MtChatBaseItem* TestChatView::addText(MtChatWidget& view, const QString& id, bool own, int state,
                                      const QDateTime& time, bool insertFirst)
{
    if (own)
        return view.addMyChatMessage(id, QPixmap(), QStringLiteral("Me"), 1, time,
                                     QStringLiteral("text ") + id, 1, 0, state, insertFirst);
    return view.addChatMessage(id, QPixmap(), QStringLiteral("Alice"), 2, time,
                               QStringLiteral("text ") + id, 1, 0, state, insertFirst);
}

QString TestChatView::messageOrder(const MtChatWidget& view) const
{
    QStringList ids;
    for (int row = 0; row < view.count(); ++row) {
        const MtChatBaseItem* item = view.chatItem(row);
        ids << (item->itemType() == MtChatBaseItem::ItemType_Date ? QStringLiteral("|")
                                                                  : item->messageId());
    }
    return ids.join(QLatin1Char(' '));
}

void TestChatView::insertionOrder_data()
{
    // Messages in the order they are added: "id:state@minute" after 09:00 on one day; any
    // state but 16 is an own message.
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("order");
    QTest::newRow("settled rows in time order") << "a:16@10 b:16@5 c:16@20 d:16@1"
                                                << "| d b a c";
    QTest::newRow("same time goes after") << "a:16@1 b:16@2 c:16@2"
                                          << "| a b c";
    QTest::newRow("sending own message stays below a later one of others") << "p:0@10 o:16@20"
                                                                           << "| o p";
    QTest::newRow("unsettled among themselves in time order") << "p1:0@30 p2:0@10 o:16@5"
                                                              << "| o p2 p1";
    QTest::newRow("failed is not settled either") << "o:16@1 f:1@3 p:0@8 g:1@5"
                                                  << "| o f g p";
    QTest::newRow("flag 16 with other bits counts as settled") << "o:16@1 p:0@2 s:17@5"
                                                               << "| o s p";
}

void TestChatView::insertionOrder()
{
    QFETCH(QString, added);
    QFETCH(QString, order);
    MtChatWidget view;
    for (const QString& message : added.split(QLatin1Char(' '))) {
        const int state =
            message.section(QLatin1Char(':'), 1).section(QLatin1Char('@'), 0, 0).toInt();
        addText(view, message.section(QLatin1Char(':'), 0, 0), state != 16, state,
                at(0, 9, message.section(QLatin1Char('@'), 1).toInt()));
    }
    QCOMPARE(messageOrder(view), order);
}

void TestChatView::confirmedCopyReplacesPending()
{
    MtChatWidget view;
    addText(view, QStringLiteral("mine"), true, 0, at(0, 9, 10));
    addText(view, QStringLiteral("theirs"), false, 16, at(0, 9, 20));
    QCOMPARE(messageOrder(view), QStringLiteral("| theirs mine"));

    // The chat window takes the pending entry out and adds the confirmed copy, which carries
    // the server's earlier time.
    MtChatBaseItem* pending = view.findItem(QStringLiteral("mine"));
    QCOMPARE(pending->state(), 0);
    delete view.takeItem(view.row(pending->listItem()));
    // Until it is gone the item no longer refers to its entry.
    QCOMPARE(pending->listItem(), nullptr);
    pending->deleteLater();
    MtChatBaseItem* confirmed = addText(view, QStringLiteral("mine"), true, 16, at(0, 9, 12));
    QCOMPARE(messageOrder(view), QStringLiteral("| mine theirs"));
    QCOMPARE(view.findItem(QStringLiteral("mine")), confirmed);
    QCOMPARE(confirmed->state(), 16);
}

void TestChatView::dateSeparators_data()
{
    // Each step "id@day.hour"; "^" before it: history added at the top; "-id": taken out.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("order"); // "|" for a separator
    QTest::addColumn<int>("top");       // days of the top and bottom dates
    QTest::addColumn<int>("bottom");
    QTest::newRow("two days, a late one joins its day") << "d1a@0.9 d1b@0.22 d2a@1.8 late@0.23"
                                                        << "| d1a d1b late | d2a" << 0 << 1;
    QTest::newRow("separator reused at the bottom") << "d1@0.9 d2@1.9 -d2 d3@2.9"
                                                    << "| d1 | d3" << 0 << 2;
    QTest::newRow("history above gets its own separator") << "today@1.9 ^older@0.18 ^oldest@0.7"
                                                          << "| oldest older | today" << 0 << 1;
    QTest::newRow("history into an empty view") << "^h@0.7"
                                                << "| h" << 0 << 0;
}

void TestChatView::dateSeparators()
{
    QFETCH(QString, steps);
    QFETCH(QString, order);
    QFETCH(int, top);
    QFETCH(int, bottom);
    MtChatWidget view;
    QVERIFY(!view.bottomDate().isValid() && !view.topDate().isValid());
    for (QString step : steps.split(QLatin1Char(' '))) {
        if (step.startsWith(QLatin1Char('-'))) {
            MtChatBaseItem* gone = view.findItem(step.mid(1));
            delete view.takeItem(view.row(gone->listItem()));
            gone->deleteLater();
            continue;
        }
        const bool history = step.startsWith(QLatin1Char('^'));
        const QString when = step.section(QLatin1Char('@'), 1);
        addText(view, step.section(QLatin1Char('@'), 0, 0).remove(QLatin1Char('^')), false, 16,
                at(when.section('.', 0, 0).toInt(), when.section('.', 1).toInt(), 0), history);
    }
    QCOMPARE(messageOrder(view), order);
    QCOMPARE(view.dateItemCount(), order.count(QLatin1Char('|')));
    QCOMPARE(view.topDate(), at(top, 0, 0).date());
    QCOMPARE(view.bottomDate(), at(bottom, 0, 0).date());
    // Each separator shows the day of the messages below it.
    for (int row = 0; row + 1 < view.count(); ++row) {
        if (auto* date = qobject_cast<MtChatDateItem*>(view.chatItem(row))) {
            QCOMPARE(date->dateTime().date(), view.chatItem(row + 1)->dateTime().date());
            QCOMPARE(date->text(), MtChatText::dateText(date->dateTime().date()));
        }
    }
}

void TestChatView::clearResetsEverything()
{
    MtChatWidget view;
    addText(view, QStringLiteral("a"), false, 16, at(0, 9, 0));
    addText(view, QStringLiteral("b"), false, 16, at(1, 9, 0));
    view.showNewMessage(QStringLiteral("x"));
    view.clear();
    QCOMPARE(view.count(), 0);
    QCOMPARE(view.dateItemCount(), 0);
    QVERIFY(!view.bottomDate().isValid());
    QVERIFY(!view.topDate().isValid());
    QVERIFY(view.newMessageButton()->isHidden());
    // The separators die later; the count stays right.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(view.dateItemCount(), 0);
    addText(view, QStringLiteral("c"), false, 16, at(2, 9, 0));
    QCOMPARE(view.dateItemCount(), 1);
    QCOMPARE(view.findItem(QStringLiteral("a")), nullptr);

    // A separator removed by the window lowers the count when it is destroyed.
    QWidget* separator = view.chatItem(0);
    delete view.takeItem(0);
    delete separator;
    QCOMPARE(view.dateItemCount(), 0);
}

void TestChatView::scrolledToBottomAndNewMessageBar()
{
    MtChatWidget view;
    view.resize(320, 240);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(view.isScrolledToBottom());
    addText(view, QStringLiteral("only"), false, 16, at(0, 9, 0));
    QVERIFY(view.isScrolledToBottom());
    for (int i = 0; i < 30; ++i)
        addText(view, QString::number(i), false, 16, at(0, 10, i));
    view.scrollToBottom();
    QTRY_VERIFY(view.isScrolledToBottom());

    view.scrollToTop();
    QVERIFY(!view.isScrolledToBottom());
    QPushButton* bar = view.newMessageButton();
    QVERIFY(bar->isHidden());
    const QString text = QStringLiteral("Alice : a long message that will not fit on the bar at "
                                        "this width,\n  so it is shortened");
    view.showNewMessage(text);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->property("newtext").toString(), text);
    QCOMPARE(bar->toolTip(), text);
    QVERIFY(bar->text().endsWith(QChar(0x2026)));
    // Elided to the bar's width, not to whatever width the button had before it was placed.
    QVERIFY(bar->fontMetrics().horizontalAdvance(bar->text()) >
            bar->width() - bar->iconSize().width() - 15 -
                3 * bar->fontMetrics().averageCharWidth());
    QVERIFY(!bar->text().contains(QLatin1Char('\n')));
    QCOMPARE(bar->height(), 30);
    QCOMPARE(bar->width(), view.viewport()->width() - 1);
    QCOMPARE(bar->geometry().bottom(), view.viewport()->geometry().bottom());

    // Scrolling down to the end hides the bar.
    view.scrollToBottom();
    QTRY_VERIFY(bar->isHidden());
    QVERIFY(view.isScrolledToBottom());

    // Clicking the bar goes to the end.
    view.scrollToTop();
    view.showNewMessage(QStringLiteral("Bob : hi"));
    QCOMPARE(bar->text(), QStringLiteral("Bob : hi"));
    bar->click();
    QVERIFY(bar->isHidden());
    QTRY_VERIFY(view.isScrolledToBottom());
}

void TestChatView::movedToTop_data()
{
    QTest::addColumn<bool>("dragging");
    QTest::newRow("dragging the slider") << true;
    QTest::newRow("wheel or keys") << false;
}

void TestChatView::movedToTop()
{
    QFETCH(bool, dragging);
    MtChatWidget view;
    view.resize(320, 240);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    for (int i = 0; i < 30; ++i)
        addText(view, QString::number(i), false, 16, at(0, 10, i));
    view.scrollToBottom();
    QScrollBar* bar = view.verticalScrollBar();
    QTRY_VERIFY(bar->value() > 0);
    QSignalSpy top(&view, &MtChatWidget::movedToTop);
    if (dragging) {
        bar->setSliderDown(true);
        bar->setValue(bar->maximum() / 2);
        bar->setValue(0);
        QCOMPARE(top.count(), 0);
        bar->setSliderDown(false);
        QCOMPARE(top.count(), 1);
    } else {
        bar->setValue(bar->maximum() / 2);
        QCOMPARE(top.count(), 0);
        bar->setValue(0);
        QCOMPARE(top.count(), 1);
    }
    // The wheel over a bubble is left to the conversation: the bubble has nothing to scroll
    // and does not take the event, so the system hands it on to the view.
    auto* bubble = qobject_cast<MtChatItem*>(view.findItem(QStringLiteral("25")));
    QVERIFY(bubble);
    QWidget* text = bubble->messageBox()->viewport();
    const QPoint centre = text->rect().center();
    QWheelEvent wheel(QPointF(centre), QPointF(text->mapToGlobal(centre)), QPoint(0, 0),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(text, &wheel);
    QVERIFY(!wheel.isAccepted());
    QCOMPARE(bubble->messageBox()->verticalScrollBar()->maximum(), 0);

    // Letting go of the slider away from the top says nothing.
    bar->setValue(bar->maximum() / 2);
    bar->setSliderDown(true);
    bar->setSliderDown(false);
    QCOMPARE(top.count(), 1);
}

void TestChatView::findItemAndForwardedSignals()
{
    MtChatWidget view;
    auto* theirs =
        qobject_cast<MtChatItem*>(addText(view, QStringLiteral("t"), false, 16, at(0, 9, 0)));
    auto* mine =
        qobject_cast<MtMyChatItem*>(addText(view, QStringLiteral("m"), true, 1, at(0, 9, 5)));
    view.addAlarmMessage(QStringLiteral("n"), QStringLiteral("Bob left"), at(0, 9, 6), false);
    QCOMPARE(view.findItem(QStringLiteral("t")), theirs);
    QCOMPARE(view.findItem(QStringLiteral("m")), mine);
    QCOMPARE(view.findItem(QStringLiteral("n"))->itemType(), int(MtChatBaseItem::ItemType_Alarm));
    QCOMPARE(view.findItem(QStringLiteral("nothing")), nullptr);
    QCOMPARE(view.findItem(QString()), nullptr);
    QCOMPARE(theirs->listItem(), view.item(1));

    // The items' other requests are heard through the view in the item tests.
    QSignalSpy picture(&view, &MtChatWidget::userPictureButtonClicked);
    QSignalSpy text(&view, &MtChatWidget::textOpened);
    emit theirs->pictureButtonClicked(2);
    emit mine->textOpened(QStringLiteral("m"));
    QCOMPARE(picture.count(), 1);
    QCOMPARE(picture.at(0).at(0).toInt(), 2);
    QCOMPARE(text.count(), 1);
}

void TestChatView::rowFromChat_data()
{
    QTest::addColumn<int>("msgType");
    QTest::addColumn<int>("contentType");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<int>("msgState");
    QTest::addColumn<bool>("own");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("itemType");
    QTest::addColumn<int>("state");
    QTest::newRow("own text sending")
        << 1 << 1 << "" << 0 << true << int(MtChatRow::Text) << 0x102 << 0;
    QTest::newRow("own text confirmed")
        << 1 << 1 << "" << 1 << true << int(MtChatRow::Text) << 0x102 << 16;
    QTest::newRow("own text failed")
        << 1 << 1 << "" << 2 << true << int(MtChatRow::Text) << 0x102 << 1;
    QTest::newRow("own image uploading")
        << 1 << 2 << "" << 3 << true << int(MtChatRow::Image) << 0x104 << 0;
    QTest::newRow("own video uploaded, unconfirmed")
        << 1 << 3 << "" << 4 << true << int(MtChatRow::Image) << 0x104 << 1;
    QTest::newRow("own file upload failed")
        << 1 << 4 << "" << 5 << true << int(MtChatRow::File) << 0x106 << 1;
    QTest::newRow("long text sent as file")
        << 1 << 4 << "first lines" << 1 << true << int(MtChatRow::Text) << 0x102 << 16;
    QTest::newRow("other text, state ignored")
        << 1 << 1 << "" << 0 << false << int(MtChatRow::Text) << 0x101 << 16;
    QTest::newRow("other image") << 1 << 2 << "" << 1 << false << int(MtChatRow::Image) << 0x103
                                 << 16;
    QTest::newRow("other file") << 1 << 4 << "" << 1 << false << int(MtChatRow::File) << 0x105
                                << 16;
    QTest::newRow("invitation") << 3 << 1 << "" << 1 << false << int(MtChatRow::Notice) << 2 << 16;
    QTest::newRow("leave") << 5 << 1 << "" << 1 << true << int(MtChatRow::Notice) << 2 << 16;
    QTest::newRow("unknown content")
        << 1 << 9 << "" << 1 << false << int(MtChatRow::None) << 0 << 16;
}

void TestChatView::rowFromChat()
{
    QFETCH(int, msgType);
    QFETCH(int, contentType);
    QFETCH(QString, preview);
    QFETCH(int, msgState);
    QFETCH(bool, own);
    QFETCH(int, kind);
    QFETCH(int, itemType);
    QFETCH(int, state);
    DBChat chat;
    chat.setMsgId(QStringLiteral("c-1"));
    chat.setMsgType(msgType);
    chat.setContent(contentType, contentType == 1 ? QStringLiteral("hello") : QString());
    chat.setContentType(contentType);
    chat.setFileName(QStringLiteral("a.bin"));
    chat.setFileSize(2048);
    chat.setPreviewText(preview);
    chat.setMsgState(msgState);
    chat.setMsgTime(at(0, 9, 30).toMSecsSinceEpoch());
    chat.setCount(2);
    chat.setSenderName(QStringLiteral("Alice"));
    const MtChatRow row = MtChatRow::fromChat(chat, own);
    QCOMPARE(int(row.kind), kind);
    QCOMPARE(row.itemType, itemType);
    QCOMPARE(row.state, state);
    QCOMPARE(row.time, at(0, 9, 30));
    if (kind == MtChatRow::Text)
        QCOMPARE(row.text, preview.isEmpty() ? QStringLiteral("hello") : preview);
    if (kind == MtChatRow::File)
        QCOMPARE(row.fileSize, qint64(2048));
    if (kind == MtChatRow::Notice)
        QCOMPARE(row.messageId.isEmpty(), msgType == 5);
}

void TestChatView::addChatFromRecord()
{
    MtChatWidget view;
    DBChat text;
    text.setMsgId(QStringLiteral("t"));
    text.setMsgType(1);
    text.setContent(1, QStringLiteral("hi"));
    text.setMsgTime(at(0, 9, 0).toMSecsSinceEpoch());
    text.setMsgState(0);
    MtChatBaseItem* item = view.addChat(text, true, QPixmap(), QPixmap(), false);
    QVERIFY(item);
    QCOMPARE(item->itemType(), int(MtChatBaseItem::ItemType_MyChat));
    QCOMPARE(item->state(), 0);
    QCOMPARE(item->content(), QStringLiteral("hi"));

    DBChat odd = text;
    odd.setMsgId(QStringLiteral("odd"));
    odd.setContentType(7);
    QCOMPARE(view.addChat(odd, false, QPixmap(), QPixmap(), false), nullptr);
    QCOMPARE(view.count(), 2);
}

QTEST_MAIN(TestChatView)
#include "tst_chatview.moc"
