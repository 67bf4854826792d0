#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatdateitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchatorder.h"
#include "widgets/mtchatrow.h"
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
    void orderRule_data();
    void orderRule();
    void insertionOrder_data();
    void insertionOrder();
    void confirmedCopyReplacesPending();
    void dateSeparatorsForTwoDays();
    void separatorReusedAtTheBottom();
    void historyAboveGetsItsOwnSeparator();
    void clearResetsEverything();
    void scrolledToBottomAndNewMessageBar();
    void movedToTop_data();
    void movedToTop();
    void findItemAndForwardedSignals();
    void rowFromChat_data();
    void rowFromChat();
    void addChatFromRecord();

private:
    QStringList messageOrder(const MtChatWidget& view) const;
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

QStringList TestChatView::messageOrder(const MtChatWidget& view) const
{
    QStringList ids;
    for (int row = 0; row < view.count(); ++row) {
        const MtChatBaseItem* item = view.chatItem(row);
        ids << (item->itemType() == MtChatBaseItem::ItemType_Date ? QStringLiteral("|")
                                                                  : item->messageId());
    }
    return ids;
}

void TestChatView::orderRule_data()
{
    QTest::addColumn<QList<int>>("states");
    QTest::addColumn<QList<int>>("minutes");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("row");
    QTest::newRow("empty view") << QList<int>{} << QList<int>{} << 16 << 5 << 0;
    QTest::newRow("later settled goes last")
        << QList<int>{16, 16} << QList<int>{1, 2} << 16 << 3 << 2;
    QTest::newRow("same time goes after") << QList<int>{16, 16} << QList<int>{1, 2} << 16 << 2 << 2;
    QTest::newRow("earlier settled goes between")
        << QList<int>{16, 16, 16} << QList<int>{1, 5, 9} << 16 << 6 << 2;
    QTest::newRow("earliest goes first") << QList<int>{16, 16} << QList<int>{4, 5} << 16 << 1 << 0;
    QTest::newRow("settled goes above pending")
        << QList<int>{16, 0} << QList<int>{1, 2} << 16 << 9 << 1;
    QTest::newRow("pending goes below earlier settled")
        << QList<int>{16, 16} << QList<int>{1, 9} << 0 << 2 << 2;
    QTest::newRow("failed is not settled either")
        << QList<int>{16, 1, 0} << QList<int>{1, 3, 8} << 1 << 5 << 2;
    QTest::newRow("flag 16 with other bits counts as settled")
        << QList<int>{16, 0} << QList<int>{1, 2} << 17 << 5 << 1;
}

void TestChatView::orderRule()
{
    QFETCH(QList<int>, states);
    QFETCH(QList<int>, minutes);
    QFETCH(int, state);
    QFETCH(int, minute);
    QFETCH(int, row);
    const QDateTime base(QDate(2024, 3, 4), QTime(9, 0));
    QVector<MtChatOrder::Row> rows;
    for (int i = 0; i < states.size(); ++i)
        rows << MtChatOrder::Row{states.at(i), base.addSecs(60 * minutes.at(i))};
    QCOMPARE(MtChatOrder::insertRow(rows, {state, base.addSecs(60 * minute)}), row);
}

void TestChatView::insertionOrder_data()
{
    // Each step: id, own, state, minute after 09:00 on one day.
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QList<int>>("states");
    QTest::addColumn<QList<int>>("minutes");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("settled rows in time order")
        << QStringList{"a", "b", "c"} << QList<int>{16, 16, 16} << QList<int>{10, 5, 20}
        << QStringList{"|", "b", "a", "c"};
    QTest::newRow("sending own message stays below a later one of others")
        << QStringList{"p", "o"} << QList<int>{0, 16} << QList<int>{10, 20}
        << QStringList{"|", "o", "p"};
    QTest::newRow("failed own message too")
        << QStringList{"p", "o", "q"} << QList<int>{1, 16, 16} << QList<int>{10, 5, 30}
        << QStringList{"|", "o", "q", "p"};
    QTest::newRow("unsettled among themselves in time order")
        << QStringList{"p1", "p2", "o"} << QList<int>{0, 0, 16} << QList<int>{30, 10, 5}
        << QStringList{"|", "o", "p2", "p1"};
}

void TestChatView::insertionOrder()
{
    QFETCH(QStringList, ids);
    QFETCH(QList<int>, states);
    QFETCH(QList<int>, minutes);
    QFETCH(QStringList, order);
    MtChatWidget view;
    for (int i = 0; i < ids.size(); ++i) {
        const bool own = states.at(i) != 16 || ids.at(i).startsWith(QLatin1Char('q'));
        addText(view, ids.at(i), own, states.at(i), at(0, 9, minutes.at(i)));
    }
    QCOMPARE(messageOrder(view), order);
}

void TestChatView::confirmedCopyReplacesPending()
{
    MtChatWidget view;
    addText(view, QStringLiteral("mine"), true, 0, at(0, 9, 10));
    addText(view, QStringLiteral("theirs"), false, 16, at(0, 9, 20));
    QCOMPARE(messageOrder(view), (QStringList{"|", "theirs", "mine"}));

    // The chat window takes the pending entry out and adds the confirmed copy, which carries
    // the server's earlier time.
    MtChatBaseItem* pending = view.findItem(QStringLiteral("mine"));
    QCOMPARE(pending->state(), 0);
    delete view.takeItem(view.row(pending->listItem()));
    // Until it is gone the item no longer refers to its entry.
    QCOMPARE(pending->listItem(), nullptr);
    pending->deleteLater();
    MtChatBaseItem* confirmed = addText(view, QStringLiteral("mine"), true, 16, at(0, 9, 12));
    QCOMPARE(messageOrder(view), (QStringList{"|", "mine", "theirs"}));
    QCOMPARE(view.findItem(QStringLiteral("mine")), confirmed);
    QCOMPARE(confirmed->state(), 16);
}

void TestChatView::dateSeparatorsForTwoDays()
{
    MtChatWidget view;
    QVERIFY(!view.bottomDate().isValid());
    QVERIFY(!view.topDate().isValid());
    addText(view, QStringLiteral("d1a"), false, 16, at(0, 9, 0));
    QCOMPARE(view.dateItemCount(), 1);
    QCOMPARE(view.topDate(), at(0, 0, 0).date());
    QCOMPARE(view.bottomDate(), at(0, 0, 0).date());
    addText(view, QStringLiteral("d1b"), false, 16, at(0, 22, 0));
    addText(view, QStringLiteral("d2a"), false, 16, at(1, 8, 0));
    QCOMPARE(messageOrder(view), (QStringList{"|", "d1a", "d1b", "|", "d2a"}));
    QCOMPARE(view.dateItemCount(), 2);
    QCOMPARE(view.topDate(), at(0, 0, 0).date());
    QCOMPARE(view.bottomDate(), at(1, 0, 0).date());
    auto* first = qobject_cast<MtChatDateItem*>(view.chatItem(0));
    auto* second = qobject_cast<MtChatDateItem*>(view.chatItem(3));
    QCOMPARE(first->text(), QStringLiteral(" 2024-3-4 Monday "));
    QCOMPARE(second->text(), QStringLiteral(" 2024-3-5 Tuesday "));
    QCOMPARE(second->dateTime(), at(1, 0, 0));
    QCOMPARE(second->state(), 16);
    // A message of an earlier day that arrives late joins its day without a new separator.
    addText(view, QStringLiteral("late"), false, 16, at(0, 23, 0));
    QCOMPARE(messageOrder(view), (QStringList{"|", "d1a", "d1b", "late", "|", "d2a"}));
    QCOMPARE(view.dateItemCount(), 2);
}

void TestChatView::separatorReusedAtTheBottom()
{
    MtChatWidget view;
    addText(view, QStringLiteral("d1"), false, 16, at(0, 9, 0));
    addText(view, QStringLiteral("d2"), false, 16, at(1, 9, 0));
    QCOMPARE(view.dateItemCount(), 2);
    // The only message of the second day goes away and leaves its separator last.
    MtChatBaseItem* gone = view.findItem(QStringLiteral("d2"));
    delete view.takeItem(view.row(gone->listItem()));
    gone->deleteLater();
    QCOMPARE(messageOrder(view), (QStringList{"|", "d1", "|"}));

    addText(view, QStringLiteral("d3"), false, 16, at(2, 9, 0));
    QCOMPARE(messageOrder(view), (QStringList{"|", "d1", "|", "d3"}));
    QCOMPARE(view.dateItemCount(), 2);
    QCOMPARE(view.bottomDate(), at(2, 0, 0).date());
    QCOMPARE(view.topDate(), at(0, 0, 0).date());
    auto* reused = qobject_cast<MtChatDateItem*>(view.chatItem(2));
    QCOMPARE(reused->text(), QStringLiteral(" 2024-3-6 Wednesday "));
}

void TestChatView::historyAboveGetsItsOwnSeparator()
{
    MtChatWidget view;
    addText(view, QStringLiteral("today"), false, 16, at(1, 9, 0));
    addText(view, QStringLiteral("older"), false, 16, at(0, 18, 0), true);
    QCOMPARE(messageOrder(view), (QStringList{"|", "older", "|", "today"}));
    QCOMPARE(view.topDate(), at(0, 0, 0).date());
    QCOMPARE(view.bottomDate(), at(1, 0, 0).date());
    QCOMPARE(view.dateItemCount(), 2);
    // Older still on the same day: directly below the top separator.
    addText(view, QStringLiteral("oldest"), false, 16, at(0, 7, 0), true);
    QCOMPARE(messageOrder(view), (QStringList{"|", "oldest", "older", "|", "today"}));
    QCOMPARE(view.dateItemCount(), 2);

    // History into an empty view starts with its separator too.
    MtChatWidget empty;
    addText(empty, QStringLiteral("h"), false, 16, at(0, 7, 0), true);
    QCOMPARE(messageOrder(empty), (QStringList{"|", "h"}));
    QCOMPARE(empty.bottomDate(), empty.topDate());
}

void TestChatView::clearResetsEverything()
{
    MtChatWidget view;
    addText(view, QStringLiteral("a"), false, 16, at(0, 9, 0));
    addText(view, QStringLiteral("b"), false, 16, at(1, 9, 0));
    view.showNewMessage(QStringLiteral("x"));
    QTest::ignoreMessage(QtDebugMsg, "MtChatWidget::clear");
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

    QSignalSpy picture(&view, &MtChatWidget::userPictureButtonClicked);
    QSignalSpy resend(&view, &MtChatWidget::resendClicked);
    QSignalSpy readers(&view, &MtChatWidget::readUserPopupOpened);
    QSignalSpy text(&view, &MtChatWidget::textOpened);
    QSignalSpy folder(&view, &MtChatWidget::folderOpened);
    emit theirs->pictureButtonClicked(2);
    emit mine->resendClicked(QStringLiteral("m"));
    emit mine->readUserPopupOpened(QStringLiteral("m"));
    emit mine->textOpened(QStringLiteral("m"));
    emit theirs->folderOpend(QStringLiteral("/tmp"));
    QCOMPARE(picture.count(), 1);
    QCOMPARE(picture.at(0).at(0).toInt(), 2);
    QCOMPARE(resend.count(), 1);
    QCOMPARE(readers.at(0).at(0).toString(), QStringLiteral("m"));
    QCOMPARE(text.count(), 1);
    QCOMPARE(folder.at(0).at(0).toString(), QStringLiteral("/tmp"));
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
