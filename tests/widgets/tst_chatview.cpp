// The conversation view: order, items, screen reader texts, paging and long conversations.
#include "common/chatrows.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "common/wait.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "store/dbtypes.h"
#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatattachmentitem.h"
#include "widgets/mtchatdateitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtmychatitem.h"

#include <QAccessible>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QDateTime kStart(QDate(2025, 5, 1), QTime(8, 0));
const QString kTarget = QStringLiteral("target");

enum class Kind
{
    Text,
    LongText, // sent as a file, shown as a text bubble of its first lines
    Image,
    Video,
    File,
    Invite,
    Leave,
    Unknown
};

DBChat chatOf(Kind kind, bool own, const QString& id, int n, int state = 1,
              const QString& text = QString(), const QString& path = QString())
{
    const int contentTypes[] = {1, 4, 2, 3, 4, 1, 1, 9};
    const bool attached =
        kind == Kind::LongText || kind == Kind::Image || kind == Kind::Video || kind == Kind::File;
    DBChat chat;
    chat.setMsgId(id);
    chat.setMsgType(kind == Kind::Invite ? 3 : kind == Kind::Leave ? 5 : 1);
    // The content type last: setting the content sets it too.
    chat.setContent(1, text.isNull() ? QStringLiteral("message %1 %2").arg(id, QString(n % 7, 'w'))
                                     : text);
    chat.setContentType(contentTypes[int(kind)]);
    chat.setPreviewText(kind == Kind::LongText ? QStringLiteral("a long text begins") : QString());
    chat.setFileName(attached ? QStringLiteral("report-%1.pdf").arg(id) : QString());
    chat.setFilePath(path);
    chat.setFileSize(2048);
    chat.setWidth(80);
    chat.setHeight(60);
    chat.setSenderId(own ? 1 : 7);
    chat.setSenderName(QStringLiteral("Member"));
    chat.setMsgTime(kStart.addSecs(60 * n).toMSecsSinceEpoch());
    chat.setMsgState(state);
    chat.setCount(n % 3);
    return chat;
}

void addRow(MtChatWidget& view, const DBChat& chat, bool own = false, bool history = false)
{
    view.addChatRow(chat, own, QPixmap(), QPixmap(80, 60), history);
}

void addTexts(MtChatWidget& view, const QString& prefix, int from, int to, bool history = false)
{
    for (int n = from; n < to; ++n)
        addRow(view, chatOf(Kind::Text, false, prefix + QString::number(n), n), false, history);
}

bool showView(MtChatWidget& view, int width = 380)
{
    view.resize(width, 300);
    view.show();
    return QTest::qWaitForWindowExposed(&view);
}

QDateTime at(int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2024, 3, 4).addDays(day), QTime(hour, minute));
}

// One step of building a conversation as the chat window does.
using Step = std::function<void(MtChatWidget&)>;

// Another member's settled message, or an own one in `ownState`.
Step added(const char* id, const QDateTime& time, int ownState = -1, bool history = false)
{
    const QString name = QLatin1String(id);
    return [=](MtChatWidget& view) {
        if (ownState >= 0)
            view.addMyChatMessage(name, {}, "Me", 1, time, name, 1, 0, ownState, history);
        else
            view.addChatMessage(name, {}, "Alice", 2, time, name, 1, 0, 16, history);
    };
}

Step older(const char* id, const QDateTime& time)
{
    return added(id, time, -1, true);
}

Step takenOut(const char* id)
{
    const QString name = QLatin1String(id);
    return [=](MtChatWidget& view) {
        MtChatBaseItem* gone = view.findItem(name);
        delete view.takeItem(view.row(gone->listItem()));
        gone->deleteLater();
    };
}

// One row of the view: a day separator, or a message; the day it announces or belongs to.
struct Row
{
    bool separator = false;
    QString id, day;
    MT_TYPED(Row, separator, id, day)
};

Row separator(int day = 0)
{
    return {true, QString(), at(day, 0).date().toString(Qt::ISODate)};
}

Row message(const char* id, int day = 0)
{
    return {false, QLatin1String(id), at(day, 0).date().toString(Qt::ISODate)};
}

struct Shown
{
    int type = 0;
    QString id;
    int state = 0;
    QString text = {}, readText = {}, progressText = {}, linkText = {}, highlight = {};
    int progress = -1; // the progress bar's value; -1 without one
    MT_TYPED(Shown, type, id, state, text, readText, progressText, linkText, highlight, progress)
};

Shown shownOf(const MtChatBaseItem* item)
{
    Shown shown;
    if (!item)
        return shown;
    shown = {item->itemType(), item->messageId(), item->state(), item->content()};
    shown.highlight = item->highlight();
    if (auto* text = qobject_cast<const MtChatTextItem*>(item))
        shown.readText = text->readText();
    if (auto* attachment = qobject_cast<const MtChatAttachmentItem*>(item)) {
        shown.readText = attachment->readText();
        shown.progressText = attachment->progressText();
        shown.linkText = attachment->linkText();
    }
    if (auto* bar = item->findChild<QProgressBar*>())
        shown.progress = bar->value();
    return shown;
}

// What a stored chat became (type 0: no item); text only for texts.
struct Made
{
    int type = 0, state = 0;
    QString text;
    bool findable = false;
    MT_TYPED(Made, type, state, text, findable)
};

Made madeOf(const MtChatBaseItem* item, bool findable)
{
    const int type = item ? item->itemType() : 0;
    const bool text =
        type == MtChatBaseItem::ItemType_Chat || type == MtChatBaseItem::ItemType_MyChat;
    return {type, item ? item->state() : 0, text ? item->content() : QString(), findable};
}

// A change the window makes: on the item, or through the view while the row is far away.
struct Change
{
    bool whileFar = false;
    int state = -1, readCount = -1, progress = -1;
    QString highlight = {};
};

void changeItem(MtChatBaseItem* item, const Change& change)
{
    if (change.state >= 0)
        item->setState(change.state);
    if (change.readCount >= 0)
        item->setReadCount(change.readCount);
    if (change.progress >= 0)
        item->setProgress(change.progress);
    if (!change.highlight.isEmpty())
        item->setHighlight(change.highlight);
}

void changeRow(MtChatWidget& view, const QString& id, const Change& change)
{
    if (change.state >= 0)
        view.setMessageState(id, change.state);
    if (change.readCount >= 0)
        view.setMessageReadCount(id, change.readCount);
    if (change.progress >= 0)
        view.setMessageProgress(id, change.progress);
}

// Clicks the named button of the item, or activates a link ("label:link") of its label.
void press(MtChatBaseItem* item, const QString& control)
{
    if (control.isEmpty())
        return;
    const QString name = control.section(QLatin1Char(':'), 0, 0);
    if (auto* button = item->findChild<QPushButton*>(name)) {
        button->click();
        return;
    }
    if (auto* label = item->findChild<QLabel*>(name))
        emit label->linkActivated(control.section(QLatin1Char(':'), 1));
}

struct Remade
{
    Kind kind = Kind::Text;
    bool own = false, onDisk = false;
    Change change;
    QString control = {}; // a button, or a link of a label ("label:link"); empty: none
    QStringList heard = {};
};

// The controls an item shows in a display state; the transfer button clicked.
struct Controls
{
    bool transferShown = false, transferEnabled = false, progressShown = false, linkShown = false;
    int resent = 0;
    MT_TYPED(Controls, transferShown, transferEnabled, progressShown, linkShown, resent)
};

Controls controlsOf(MtChatBaseItem* item)
{
    Controls seen;
    if (auto* text = qobject_cast<MtMyChatItem*>(item))
        seen = {text->isTransferShown(), text->isTransferEnabled()};
    if (auto* attachment = qobject_cast<MtChatAttachmentItem*>(item)) {
        const MtAttachmentControls& c = attachment->controls();
        seen = {c.isTransferShown(), c.isTransferEnabled(), c.isProgressShown(), c.isLinkShown()};
    }
    return seen;
}

// A stored chat of a kind, whose, in a msg_state, then set to a display state (-1: none).
struct MadeRow
{
    Kind kind = Kind::Text;
    bool own = false;
    int msgState = 0, then = -1;
    Made made = {};
    Controls controls = {};
};

// A chat alone in a shown view, and what of a row (1: the chat, 0: its day's separator) a
// screen reader must say.
struct AloneRow
{
    Kind kind = Kind::Text;
    bool own = false;
    int state = 1;
    QString text;
    int readCount = 0, row = 1;
    QStringList parts = {};
};

// How a row far back is brought into view after a page of history was added in a batch.
enum class Placing
{
    Shown,           // showMessage after the batch
    ShownThenScroll, // showMessage, then the user drags to the top
    AtTop            // showRowAtTop inside the batch
};

// 30 chats, then 600 older wrapped ones above (in a batch left open, or one by one); the items
// they got.
int fillHistory(MtChatWidget& view, bool batch)
{
    const QString text = QStringLiteral("a line long enough to wrap in a bubble of the view ");
    addTexts(view, QStringLiteral("page-"), 1000, 1030);
    view.scrollToBottom();
    QCoreApplication::processEvents();
    const int before = view.liveItemCount();
    if (batch)
        view.beginBatch();
    for (int n = 999; n >= 400; --n) {
        addRow(view,
               chatOf(Kind::Text, false, QStringLiteral("old-%1").arg(n), n, 1,
                      text.repeated(n % 3 + 1)),
               false, true);
        // Asking for geometry lays the view out, which would make items.
        if (n % 100 == 0)
            view.isScrolledToBottom();
    }
    return view.liveItemCount() - before;
}

// Shows the row after the batch, and scrolls as the user would, as the placing says.
void place(MtChatWidget& view, const QString& id, Placing placing)
{
    if (placing != Placing::AtTop)
        view.showMessage(id);
    if (placing == Placing::ShownThenScroll)
        view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
}

// At the top: also no items made where the view stood.
bool placedAsAsked(const MtChatWidget& view, const QString& id, Placing placing)
{
    const int row = rowOf(view, id);
    const bool whole = wholeInView(view, row);
    return placing == Placing::AtTop ? view.visualItemRect(view.item(row)).top() == 0 && whole &&
                                           itemsFarFrom(view, row, 50, QStringLiteral("old-")) == 0
           : placing == Placing::ShownThenScroll ? view.verticalScrollBar()->value() == 0
                                                 : whole;
}

// Layouts done at once, and whether items stay bounded by the viewport.
struct Cost
{
    int layouts = 0;
    bool fewItems = false;
    MT_TYPED(Cost, layouts, fewItems)
};
} // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(Row)
Q_DECLARE_METATYPE(MadeRow)
Q_DECLARE_METATYPE(AloneRow)
Q_DECLARE_METATYPE(Remade)
Q_DECLARE_METATYPE(Placing)

class TestChatView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        mtInitResources();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void order_data()
    {
        QTest::addColumn<QList<Step>>("built");
        QTest::addColumn<QList<Row>>("expected");
        QTest::newRow("settled rows in time order")
            << QList<Step>{added("a", at(0, 9, 10)), added("b", at(0, 9, 5)),
                           added("c", at(0, 9, 20)), added("d", at(0, 9, 1))}
            << QList<Row>{separator(), message("d"), message("b"), message("a"), message("c")};
        QTest::newRow("sending own one below a later one")
            << QList<Step>{added("p", at(0, 9, 10), 0), added("o", at(0, 9, 20))}
            << QList<Row>{separator(), message("o"), message("p")};
        QTest::newRow("unsettled ones in time order")
            << QList<Step>{added("p1", at(0, 9, 30), 0), added("p2", at(0, 9, 10), 0),
                           added("o", at(0, 9, 5))}
            << QList<Row>{separator(), message("o"), message("p2"), message("p1")};
        QTest::newRow("a confirmed copy replaces the pending one")
            << QList<Step>{added("m", at(0, 9, 10), 0), added("t", at(0, 9, 20)), takenOut("m"),
                           added("m", at(0, 9, 12), 16)}
            << QList<Row>{separator(), message("m"), message("t")};
        QTest::newRow("two days, a late one joins its day")
            << QList<Step>{added("a", at(0, 9)), added("b", at(0, 22)), added("c", at(1, 8)),
                           added("z", at(0, 23))}
            << QList<Row>{separator(),  message("a"), message("b"),
                          message("z"), separator(1), message("c", 1)};
        QTest::newRow("separator reused at the bottom")
            << QList<Step>{added("a", at(0, 9)), added("b", at(1, 9)), takenOut("b"),
                           added("c", at(2, 9))}
            << QList<Row>{separator(), message("a"), separator(2), message("c", 2)};
        QTest::newRow("history gets its own separator")
            << QList<Step>{added("t", at(1, 9)), older("o", at(0, 18)), older("oo", at(0, 7))}
            << QList<Row>{separator(), message("oo"), message("o"), separator(1), message("t", 1)};
        QTest::newRow("history into an empty view, then a new one")
            << QList<Step>{older("h", at(0, 7)), added("n", at(0, 9))}
            << QList<Row>{separator(), message("h"), message("n")};
    }

    void order()
    {
        QFETCH(QList<Step>, built);
        QFETCH(QList<Row>, expected);
        MtChatWidget view;
        for (const Step& step : built)
            step(view);
        QList<Row> shown;
        for (int row = 0; row < view.count(); ++row) {
            const MtChatBaseItem* item = view.chatItem(row);
            const bool separator = qobject_cast<const MtChatDateItem*>(item);
            shown << Row{separator, item->messageId(),
                         item->dateTime().date().toString(Qt::ISODate)};
        }
        QCOMPARE(shown, expected);
    }

    // A stored chat becomes the item of its kind, in the display state its stored state calls for,
    // with that state's controls; the transfer button resends in the failed state only.
    void addChat_data()
    {
        QTest::addColumn<MadeRow>("row");
        using I = MtChatBaseItem;
        const int myText = I::ItemType_MyChat, myImage = I::ItemType_MyChatImage,
                  myFile = I::ItemType_MyChatFile, file = I::ItemType_ChatFile;
        QTest::newRow("own text sending")
            << MadeRow{Kind::Text, true, 0, -1, {myText, 0, "hello", true}, {true, false}};
        QTest::newRow("own text failed") << MadeRow{
            Kind::Text, true, 2, -1, {myText, 1, "hello", true}, {true, true, false, false, 1}};
        QTest::newRow("own image uploading") << MadeRow{
            Kind::Image, true, 3, -1, {myImage, 0, "", true}, {true, false, true, false}};
        QTest::newRow("own file upload failed") << MadeRow{
            Kind::File, true, 5, -1, {myFile, 1, "", true}, {true, true, true, false, 1}};
        QTest::newRow("own file settled") << MadeRow{
            Kind::File, true, 1, -1, {myFile, 16, "", true}, {false, false, false, true}};
        QTest::newRow("own file saving")
            << MadeRow{Kind::File, true, 1, 2, {myFile, 16, "", true}, {true, false, true, false}};
        QTest::newRow("long text sent as file")
            << MadeRow{Kind::LongText, true, 1, -1, {myText, 16, "a long text begins", true}};
        QTest::newRow("other text, state ignored")
            << MadeRow{Kind::Text, false, 0, -1, {I::ItemType_Chat, 16, "hello", true}};
        QTest::newRow("other file settled")
            << MadeRow{Kind::File, false, 1, -1, {file, 16, "", true}, {false, false, false, true}};
        QTest::newRow("other file saving")
            << MadeRow{Kind::File, false, 1, 2, {file, 16, "", true}, {false, false, true, false}};
        QTest::newRow("invitation")
            << MadeRow{Kind::Invite, false, 1, -1, {I::ItemType_Alarm, 16, "", true}};
        // A leave notice is shown but is no message to be found.
        QTest::newRow("leave") << MadeRow{
            Kind::Leave, true, 1, -1, {I::ItemType_Alarm, 16, "", false}};
        QTest::newRow("unknown content") << MadeRow{Kind::Unknown, false, 1, -1};
    }

    void addChat()
    {
        QFETCH(MadeRow, row);
        MtChatWidget view;
        QSignalSpy resend(&view, &MtChatWidget::resendClicked);
        const DBChat chat = chatOf(row.kind, row.own, QStringLiteral("m1"), 0, row.msgState,
                                   QStringLiteral("hello"));
        MtChatBaseItem* item = view.addChat(chat, row.own, QPixmap(), QPixmap(80, 60), false);
        const Made made = madeOf(item, view.findItem(QStringLiteral("m1")) != nullptr);
        changeItem(item, Change{false, row.then});
        Controls seen = controlsOf(item);
        // The slot is what a click reaches; a disabled button cannot be clicked at all.
        QMetaObject::invokeMethod(item, "on_transferButton_clicked");
        seen.resent = resend.count();
        QCOMPARE(made, row.made);
        QCOMPARE(seen, row.controls);
    }

    // A row scrolled far away and back shows what it showed, with every change made meanwhile,
    // while a notice the window added beside it stays the same item.
    void remadeItems_data()
    {
        QTest::addColumn<Remade>("row");
        const Change none;
        QTest::newRow("other text, sender's picture")
            << Remade{Kind::Text, false, false, none, "pictureButton", {"picture:7"}};
        QTest::newRow("own text confirmed on its item, readers")
            << Remade{Kind::Text, true, false, {false, 16}, "readLabel:target", {"readers:target"}};
        QTest::newRow("own text failed while away, sent again")
            << Remade{Kind::Text, true, false, {true, 1}, "transferButton", {"resend:target"}};
        QTest::newRow("own text read by 4 while away")
            << Remade{Kind::Text, true, false, {true, -1, 4}};
        QTest::newRow("other text read by 2 on its item, readers not offered")
            << Remade{Kind::Text, false, false, {false, -1, 2}, "readLabel:target"};
        QTest::newRow("search highlight")
            << Remade{Kind::Text, false, false, {false, -1, -1, -1, "message"}};
        QTest::newRow("own file uploading at 40% while away")
            << Remade{Kind::File, true, false, {true, 0, -1, 40}};
        QTest::newRow("file downloading at 70% on its item")
            << Remade{Kind::File, false, false, {false, 2, -1, 70}};
        QTest::newRow("whole long text")
            << Remade{Kind::LongText, true, false, none, "viewAllButton", {"text:target"}};
        QTest::newRow("notice") << Remade{Kind::Invite, false, false, none};
        QTest::newRow("file saved")
            << Remade{Kind::File, false, false, none, "linkLabel:save", {"save:target"}};
        QTest::newRow("picture opened")
            << Remade{Kind::Image, false, true, none, "linkLabel:open", {"image:target"}};
        QTest::newRow("folder of a file opened")
            << Remade{Kind::File, false, true, none, "linkLabel:openFolder", {"folder"}};
        QTest::newRow("own picture not on disk opened")
            << Remade{Kind::Image, true, false, none, "imageButton", {"image:target"}};
        QTest::newRow("own video on disk played")
            << Remade{Kind::Video, true, true, none, "imageButton", {"file:report.pdf"}};
    }

    void remadeItems()
    {
        QFETCH(Remade, row);
        const QString path =
            row.onDisk ? existingFile() : m_env.path(QStringLiteral("missing.pdf"));
        const DBChat chat = chatOf(row.kind, row.own, kTarget, 0, 1, QString(), path);
        // What the row must show: the same chat with the same change, in a view of its own.
        MtChatWidget reference;
        changeItem(reference.addChat(chat, row.own, QPixmap(), QPixmap(80, 60), false), row.change);
        const Shown expected = shownOf(reference.findItem(kTarget));

        MtChatWidget view;
        QVERIFY(showView(view));
        addRow(view, chat, row.own);
        addTexts(view, QStringLiteral("filler-"), 1, 400);
        view.scrollToTop();
        // A notice the window adds (the read marker) keeps its item far away; the top is told once.
        QPointer<MtChatAlarmItem> marker = view.addAlarmMessage(
            QStringLiteral("marker"), QStringLiteral("Read up to here"), kStart.addSecs(30), false);
        const int markerRow = view.row(marker->listItem());
        QSignalSpy top(&view, &MtChatWidget::movedToTop);
        const Change onItem = row.change.whileFar ? Change{} : row.change;
        changeItem(view.findItem(kTarget), onItem);
        QPointer<MtChatBaseItem> before = view.findItem(kTarget);
        view.scrollToBottom();
        // Let go of, and deleted: what comes back is a new item made from the row.
        QTRY_VERIFY(before.isNull());
        changeRow(view, kTarget, row.change.whileFar ? row.change : Change{});
        view.scrollToTop();
        QCoreApplication::processEvents();
        MtChatBaseItem* item = view.findItem(kTarget);
        QCOMPARE(shownOf(item), expected);
        QVERIFY(!marker.isNull());
        QCOMPARE(view.row(marker->listItem()), markerRow);
        QCOMPARE(view.findItem(QStringLiteral("marker")), marker.data());
        QCOMPARE(top.count(), 1);

        QStringList heard;
        const auto hear = [&heard](const QString& what) { heard << what; };
        connect(&view, &MtChatWidget::resendClicked, this,
                [=](QString id) { hear("resend:" + id); });
        connect(&view, &MtChatWidget::readUserPopupOpened, this,
                [=](QString id) { hear("readers:" + id); });
        connect(&view, &MtChatWidget::userPictureButtonClicked, this,
                [=](int id) { hear("picture:" + QString::number(id)); });
        connect(&view, &MtChatWidget::textOpened, this, [=](QString id) { hear("text:" + id); });
        connect(&view, &MtChatWidget::saveFile, this,
                [=](QString id, bool as) { hear((as ? "saveAs:" : "save:") + id); });
        connect(&view, &MtChatWidget::imageOpened, this, [=](QString id) { hear("image:" + id); });
        connect(&view, &MtChatWidget::folderOpened, this, [=] { hear("folder"); });
        connect(&view, &MtChatWidget::fileOpened, this,
                [=](QString file) { hear("file:" + QFileInfo(file).fileName()); });
        QTRY_VERIFY(item->isVisible());
        press(item, row.control);
        QCOMPARE(heard, row.heard);
    }

    // The height a row gets before it has an item is the height its item takes once made; a
    // screen reader hears of a row what a sighted reader sees of it.
    void aloneInTheView_data()
    {
        QTest::addColumn<AloneRow>("row");
        const QString longLine = QStringLiteral("a line that is far too long for one row of the "
                                                "conversation and wraps into several lines there, ")
                                     .repeated(3);
        QTest::newRow("another member's wrapped text") << AloneRow{
            Kind::Text, false, 1, "Lunch? " + longLine, 0, 1, {"Member", "Lunch?", "07"}};
        QTest::newRow("many lines") << AloneRow{Kind::Text, false, 1, "1\n2\n3\n4\n5\n6\n7"};
        QTest::newRow("own text failed") << AloneRow{Kind::Text, true, 2, "short"};
        QTest::newRow("own text settled, read by three")
            << AloneRow{Kind::Text, true, 1, longLine + "\n\nend", 3, 1, {"end", "3"}};
        QTest::newRow("another member's file")
            << AloneRow{Kind::File, false, 1, {}, 0, 1, {"Member", "report-m.pdf", "07"}};
        QTest::newRow("own picture read by two") << AloneRow{Kind::Image, true, 1, {}, 2, 1, {"2"}};
        QTest::newRow("own file uploading") << AloneRow{Kind::File, true, 3, ""};
        QTest::newRow("invitation")
            << AloneRow{Kind::Invite, false, 1, "Lee, " + longLine, 0, 1, {"Member", "Lee"}};
        QTest::newRow("day separator") << AloneRow{Kind::Text, false, 1, {}, 0, 0, {"2025", "1"}};
    }

    void aloneInTheView()
    {
        QFETCH(AloneRow, row);
        MtChatWidget view;
        QVERIFY(showView(view));
        DBChat chat = chatOf(row.kind, row.own, QStringLiteral("m"), 7, row.state, row.text);
        chat.setCount(row.readCount);
        addRow(view, chat, row.own);
        const int measured = view.item(1)->sizeHint().height();
        MtChatBaseItem* item = view.chatItem(1);
        QTRY_COMPARE(item->geometry().topLeft(), view.visualItemRect(view.item(1)).topLeft());
        QCOMPARE(item->width(), view.viewport()->width());
        QCOMPARE(item->sizeHint().height(), measured);
        const QAccessibleInterface* cell =
            QAccessible::queryAccessibleInterface(&view)->child(row.row);
        const QString said = cell->text(QAccessible::Name);
        QStringList unsaid = row.parts;
        unsaid.erase(std::remove_if(unsaid.begin(), unsaid.end(),
                                    [&](const QString& part) { return said.contains(part); }),
                     unsaid.end());
        QCOMPARE(cell->role(), QAccessible::ListItem);
        QCOMPARE(unsaid, QStringList());
    }

    // Sending, failed and settled own messages sound apart; a read count set later is heard.
    void ownStatesSpeakApart()
    {
        MtChatWidget view;
        view.show();
        for (const int state : {MsgStateNew, MsgStateUploadFailed, MsgStateConfirmed})
            addRow(view, chatOf(Kind::Text, true, QString::number(state), 7, state, "same"), true);
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view);
        const auto said = [&](int row) { return list->child(row)->text(QAccessible::Name); };
        QCOMPARE((QSet<QString>{said(1), said(2), said(3)}.size()), 3);
        view.setMessageReadCount(QString::number(MsgStateConfirmed), 4);
        const QString readLater = said(rowOf(view, QString::number(MsgStateConfirmed)));
        QVERIFY2(readLater.contains('4'), qPrintable(readLater));
    }

    // Found by id across history pages and new chats; removed never.
    void findById()
    {
        constexpr int between = 3000;
        MtChatWidget view;
        addTexts(view, QStringLiteral("mid-"), 10000, 10000 + between);
        for (int n = 0; n < 3; ++n) {
            addRow(view, chatOf(Kind::Text, false, QStringLiteral("old-%1").arg(n), 5000 - 100 * n),
                   false, true);
            addRow(view, chatOf(Kind::Text, true, QStringLiteral("new-%1").arg(n), 90000 + n),
                   true);
        }
        delete view.takeItem(view.row(view.findItem(QStringLiteral("old-1"))->listItem()));

        QStringList found;
        for (const char* id : {"old-0", "old-2", "new-0", "new-1", "new-2", "old-1", "mid-10002"}) {
            const MtChatBaseItem* item = view.findItem(QLatin1String(id));
            found << (item ? item->content().section(' ', 1, 1) : QString());
        }
        QCOMPARE(found,
                 (QStringList{"old-0", "old-2", "new-0", "new-1", "new-2", "", "mid-10002"}));
    }

    // Rows added in a batch get no item; the placed row stays put while heights are measured.
    // Wrapped texts, a row in the middle of the page.
    void placedAfterBatch_data()
    {
        QTest::addColumn<Placing>("placing");
        QTest::newRow("shown") << Placing::Shown;
        QTest::newRow("shown, then scrolled to the top") << Placing::ShownThenScroll;
        QTest::newRow("at the top") << Placing::AtTop;
    }

    void placedAfterBatch()
    {
        QFETCH(Placing, placing);
        const QString id = QStringLiteral("old-700");
        MtChatWidget plain;
        showView(plain);
        fillHistory(plain, false);
        MtChatWidget view;
        QVERIFY(showView(view));
        const int itemsMade = fillHistory(view, true);
        const bool atTop = placing == Placing::AtTop;
        view.showRowAtTop(atTop ? view.item(rowOf(view, id)) : nullptr);
        view.endBatch();
        place(view, id, placing);
        QCOMPARE(itemsMade, 0);
        QCOMPARE(placedAsAsked(view, id, placing), true);
        QTRY_COMPARE(rowHeights(view), rowHeights(plain));
        QCOMPARE(placedAsAsked(view, id, placing), true);
    }

    // 10,000 rows: an append or a 500-row page costs a short one's layouts; few rows carry items.
    void tenThousandRows()
    {
        MtChatWidget view;
        QVERIFY(showView(view));
        view.beginBatch();
        addTexts(view, QStringLiteral("r"), 20000, 30000);
        view.endBatch();
        view.scrollToBottom();
        QVERIFY(waitUntil([&] { return view.isScrolledToBottom(); }));
        QCoreApplication::processEvents();
        int layouts = view.layoutCount();
        const auto cost = [&] {
            Cost seen{view.layoutCount() - layouts};
            QCoreApplication::processEvents();
            seen.fewItems = view.liveItemCount() < 60;
            layouts = view.layoutCount();
            return seen;
        };
        addRow(view, chatOf(Kind::Text, false, QStringLiteral("appended"), 30000));
        QList<Cost> seen{cost()};
        view.beginBatch();
        for (int n = 499; n >= 0; --n)
            addRow(view, chatOf(Kind::Text, false, QStringLiteral("paged-%1").arg(n), n), false,
                   true);
        view.endBatch();
        seen << cost();
        QCOMPARE(seen, (QList<Cost>{{0, true}, {1, true}}));
    }

private:
    QString existingFile()
    {
        QFile file(m_env.path(QStringLiteral("report.pdf")));
        file.open(QIODevice::WriteOnly);
        return file.fileName();
    }

    TestEnv m_env;
};

QTEST_MAIN(TestChatView)
#include "tst_chatview.moc"
