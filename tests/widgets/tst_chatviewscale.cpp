// The conversation view at the size of long conversations: items exist only near the viewport,
// so rows scrolled far away lose theirs and get new ones when they come back. What the user sees
// and what the items ask for must not change by that; messages are found by id wherever they
// are; separators and the new-message bar behave as in a short conversation.
#include "common/testenv.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatattachmentitem.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatentry.h"
#include "widgets/mtchattextitem.h"
#include "widgets/mtchatwidget.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QDateTime kStart(QDate(2025, 5, 1), QTime(8, 0));

// What a row's item shows.
struct Shown
{
    int type = 0;
    QString id;
    int state = 0;
    QString text;
    QString readText;
    QString progressText;
    QString linkText;
    QString highlight;
    int progress = -1; // the progress bar's value; -1 without one

    bool operator==(const Shown& o) const
    {
        return type == o.type && id == o.id && state == o.state && text == o.text &&
               readText == o.readText && progressText == o.progressText && linkText == o.linkText &&
               highlight == o.highlight && progress == o.progress;
    }
};

Shown shownOf(const MtChatBaseItem* item)
{
    Shown shown;
    if (!item)
        return shown;
    shown.type = item->itemType();
    shown.id = item->messageId();
    shown.state = item->state();
    shown.text = item->content();
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

// A request the view passed on to the window.
struct Heard
{
    QString signal;
    QString id;
    int sender = 0;
    bool saveAs = false;

    bool operator==(const Heard& o) const
    {
        return signal == o.signal && id == o.id && sender == o.sender && saveAs == o.saveAs;
    }
};

// A message found by id: its id and text, empty when nothing was found.
struct Found
{
    QString id;
    QString text;

    bool operator==(const Found& o) const { return id == o.id && text == o.text; }
};

// A change the window makes to a message: on its item while the row has one, or through the
// view while the row is far away.
struct Change
{
    bool whileFar = false;
    int state = -1;
    int readCount = -1;
    int progress = -1;
    QString highlight;
};

// A batch of rows added far back and one of them shown: how many items the batch's rows got
// before it ended, the message of the item showMessage returned, and whether its row is wholly
// in view.
struct Batched
{
    int itemsMade = 0;
    QString shownId;
    bool whole = false;

    bool operator==(const Batched& o) const
    {
        return itemsMade == o.itemsMade && shownId == o.shownId && whole == o.whole;
    }
};

// A row kept at the top of the view (the read marker of a window opened far back): its top in
// the viewport, whether it is whole in view, and the rows added with it that carry an item while
// more than a page of rows away from it.
struct AtTop
{
    int top = -1;
    bool whole = false;
    int farItems = -1;

    bool operator==(const AtTop& o) const
    {
        return top == o.top && whole == o.whole && farItems == o.farItems;
    }
};

enum class Kind
{
    Text,
    OwnText,
    LongText,
    File,
    OwnFile,
    Notice
};

// The chat of row n: its kind, its own id, a time n minutes after the start; `text` in place of
// the usual one when given.
DBChat chatOf(Kind kind, const QString& id, int n, int state = 1, const QString& text = QString())
{
    DBChat chat;
    chat.setMsgId(id);
    chat.setMsgType(kind == Kind::Notice ? 3 : 1);
    const bool file = kind == Kind::File || kind == Kind::OwnFile || kind == Kind::LongText;
    const QString usual = QStringLiteral("message %1 %2").arg(id, QString(n % 7, QLatin1Char('w')));
    // The content type last: setting the content sets it too.
    chat.setContent(1, text.isNull() ? usual : text);
    chat.setContentType(file ? 4 : 1);
    chat.setPreviewText(kind == Kind::LongText ? QStringLiteral("a long text begins") : QString());
    chat.setFileName(file ? QStringLiteral("report-%1.pdf").arg(id) : QString());
    chat.setFileSize(2048);
    chat.setSenderId(kind == Kind::OwnText || kind == Kind::OwnFile ? 1 : 7);
    chat.setSenderName(QStringLiteral("Member"));
    chat.setMsgTime(kStart.addSecs(60 * n).toMSecsSinceEpoch());
    chat.setMsgState(state);
    chat.setCount(n % 3);
    return chat;
}

bool isOwn(Kind kind)
{
    return kind == Kind::OwnText || kind == Kind::OwnFile;
}

void applyToItem(MtChatBaseItem* item, const Change& change)
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

// The change made on the item, unless it is to be made while the row is away.
void changeBeforeLeaving(MtChatWidget& view, const QString& id, const Change& change)
{
    if (!change.whileFar)
        applyToItem(view.findItem(id), change);
}

// The change made through the view while the row has no item, if it is one of those.
void changeWhileAway(MtChatWidget& view, const QString& id, const Change& change)
{
    if (!change.whileFar)
        return;
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
    const QString name = control.section(QLatin1Char(':'), 0, 0);
    if (auto* button = item->findChild<QPushButton*>(name)) {
        button->click();
        return;
    }
    if (auto* label = item->findChild<QLabel*>(name))
        emit label->linkActivated(control.section(QLatin1Char(':'), 1));
}

// A shown view of `rows` chats, the first of them `first` at row 1, the view at its top.
void fill(MtChatWidget& view, Kind kind, const QString& first, int rows)
{
    view.addChatRow(chatOf(kind, first, 0), isOwn(kind), QPixmap(), QPixmap(), false);
    for (int n = 1; n < rows; ++n)
        view.addChatRow(chatOf(Kind::Text, QStringLiteral("filler-%1").arg(n), n), false, QPixmap(),
                        QPixmap(), false);
    view.scrollToTop();
}

QWidget* showView(MtChatWidget& view)
{
    view.resize(380, 300);
    view.show();
    return &view;
}

// A view holding the page of chats 1000 to 1029 with chats 999 down to 400 added above it, in a
// batch or one by one as history pages add them; chat n of the older ones holds `text` n % 3 + 1
// times.
void fillHistory(MtChatWidget& view, const QString& text, bool batch, int* itemsMade = nullptr)
{
    for (int n = 1000; n < 1030; ++n)
        view.addChatRow(chatOf(Kind::Text, QStringLiteral("page-%1").arg(n), n), false, QPixmap(),
                        QPixmap(), false);
    view.scrollToBottom();
    QCoreApplication::processEvents();
    const int before = view.liveItemCount();
    if (batch)
        view.beginBatch();
    for (int n = 999; n >= 400; --n) {
        view.addChatRow(
            chatOf(Kind::Text, QStringLiteral("old-%1").arg(n), n, 1, text.repeated(n % 3 + 1)),
            false, QPixmap(), QPixmap(), true);
        // Asking for the view's geometry lays it out, which would make the items in view.
        if (n % 100 == 0)
            view.isScrolledToBottom();
    }
    if (itemsMade)
        *itemsMade = view.liveItemCount() - before;
    if (batch)
        view.endBatch();
}

bool wholeInView(const MtChatWidget& view, const QString& id)
{
    for (int row = 0; row < view.count(); ++row) {
        if (view.rowData(row).messageId == id)
            return view.viewport()->rect().contains(view.visualItemRect(view.item(row)));
    }
    return false;
}

int rowOf(const MtChatWidget& view, const QString& id)
{
    for (int row = 0; row < view.count(); ++row) {
        if (view.rowData(row).messageId == id)
            return row;
    }
    return -1;
}

AtTop atTop(const MtChatWidget& view, int at)
{
    const QRect rect = view.visualItemRect(view.item(at));
    AtTop seen{rect.top(), view.viewport()->rect().contains(rect), 0};
    for (int row = 0; row < view.count(); ++row) {
        const auto* entry = static_cast<const MtChatEntry*>(view.item(row));
        const bool added = entry->data().messageId.startsWith(QLatin1String("old-"));
        if (added && entry->widget() && qAbs(row - at) > 50)
            ++seen.farItems;
    }
    return seen;
}

QList<int> rowHeights(const MtChatWidget& view)
{
    QList<int> heights;
    for (int row = 0; row < view.count(); ++row)
        heights << view.visualItemRect(view.item(row)).height();
    return heights;
}

} // namespace

Q_DECLARE_METATYPE(Shown)
Q_DECLARE_METATYPE(Heard)
Q_DECLARE_METATYPE(Found)
Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(Batched)
Q_DECLARE_METATYPE(AtTop)

namespace QTest {
template <>
char* toString(const Shown& s)
{
    return qstrdup(QStringLiteral("type 0x%1 id %2 state %3 text \"%4\" read \"%5\" progress "
                                  "\"%6\" link \"%7\" highlight \"%8\" bar %9")
                       .arg(QString::number(s.type, 16), s.id)
                       .arg(s.state)
                       .arg(s.text, s.readText, s.progressText, s.linkText, s.highlight)
                       .arg(s.progress)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const Heard& h)
{
    return qstrdup(QStringLiteral("%1 id %2 sender %3 saveAs %4")
                       .arg(h.signal, h.id)
                       .arg(h.sender)
                       .arg(h.saveAs)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const Batched& b)
{
    return qstrdup(QStringLiteral("items made %1 shown %2 whole %3")
                       .arg(b.itemsMade)
                       .arg(b.shownId)
                       .arg(b.whole)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const AtTop& a)
{
    return qstrdup(QStringLiteral("top %1 whole %2 far items %3")
                       .arg(a.top)
                       .arg(a.whole)
                       .arg(a.farItems)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const Found& f)
{
    return qstrdup(QStringLiteral("id %1 text \"%2\"").arg(f.id, f.text).toUtf8().constData());
}
} // namespace QTest

class TestChatViewScale : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void remadeItems_data();
    void remadeItems();
    void requestsOfRemadeItems_data();
    void requestsOfRemadeItems();
    void findById_data();
    void findById();
    void windowsNoticeStays();
    void separatorsAndBarAtScale();
    void measuredHeights_data();
    void measuredHeights();
    void heightsFollowTheWidth();
    void batchedRows_data();
    void batchedRows();
    void scrollingLeavesTheShownRow();
    void rowAtTopAfterBatch_data();
    void rowAtTopAfterBatch();

private:
    // Scrolls to the far end and waits until the item of `id` is gone.
    void leave(MtChatWidget& view, const QString& id);
    // Scrolls back to the top and waits until the row of `id` carries an item again.
    MtChatBaseItem* comeBack(MtChatWidget& view, const QString& id);
    // Every request the view passes on, in order.
    void record(MtChatWidget& view, QList<Heard>& heard);

    TestEnv m_env;
};

void TestChatViewScale::initTestCase()
{
    QVERIFY(m_env.isValid());
    mtInitResources();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestChatViewScale::leave(MtChatWidget& view, const QString& id)
{
    QPointer<MtChatBaseItem> before = view.findItem(id);
    view.scrollToBottom();
    // Let go of, and deleted: what comes back is a new item made from the row.
    QTRY_VERIFY(before.isNull());
}

MtChatBaseItem* TestChatViewScale::comeBack(MtChatWidget& view, const QString& id)
{
    view.scrollToTop();
    QCoreApplication::processEvents();
    return view.findItem(id);
}

void TestChatViewScale::record(MtChatWidget& view, QList<Heard>& heard)
{
    connect(&view, &MtChatWidget::resendClicked, this, [&heard](QString id) {
        heard << Heard{QStringLiteral("resend"), id, 0, false};
    });
    connect(&view, &MtChatWidget::readUserPopupOpened, this, [&heard](QString id) {
        heard << Heard{QStringLiteral("readers"), id, 0, false};
    });
    connect(&view, &MtChatWidget::userPictureButtonClicked, this, [&heard](int user) {
        heard << Heard{QStringLiteral("picture"), {}, user, false};
    });
    connect(&view, &MtChatWidget::textOpened, this, [&heard](QString id) {
        heard << Heard{QStringLiteral("text"), id, 0, false};
    });
    connect(&view, &MtChatWidget::saveFile, this, [&heard](QString id, bool as) {
        heard << Heard{QStringLiteral("save"), id, 0, as};
    });
}

// A row scrolled far away and back shows what it showed before, with every change the window
// made: on its item before it went, or through the view while it was away.
void TestChatViewScale::remadeItems_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Change>("change");
    QTest::newRow("text, unchanged") << Kind::Text << Change{false, -1, -1, -1, QString()};
    QTest::newRow("own text confirmed on its item")
        << Kind::OwnText << Change{false, 16, -1, -1, QString()};
    QTest::newRow("own text failed while away")
        << Kind::OwnText << Change{true, 1, -1, -1, QString()};
    QTest::newRow("own text read by 4 while away")
        << Kind::OwnText << Change{true, -1, 4, -1, QString()};
    QTest::newRow("text read by 2 on its item")
        << Kind::Text << Change{false, -1, 2, -1, QString()};
    QTest::newRow("search highlight") << Kind::Text << Change{false, -1, -1, -1, "message"};
    QTest::newRow("own file uploading at 40% while away")
        << Kind::OwnFile << Change{true, 0, -1, 40, QString()};
    QTest::newRow("file downloading at 70% on its item")
        << Kind::File << Change{false, 2, -1, 70, QString()};
    QTest::newRow("file download failed while away")
        << Kind::File << Change{true, 3, -1, -1, QString()};
    QTest::newRow("long text") << Kind::LongText << Change{false, -1, -1, -1, QString()};
    QTest::newRow("notice") << Kind::Notice << Change{false, -1, -1, -1, QString()};
}

void TestChatViewScale::remadeItems()
{
    QFETCH(Kind, kind);
    QFETCH(Change, change);
    const QString id = QStringLiteral("target");
    const DBChat chat = chatOf(kind, id, 0);

    // What the row must show: the same chat with the same change, in a view of its own.
    MtChatWidget reference;
    MtChatBaseItem* referenceItem =
        reference.addChat(chat, isOwn(kind), QPixmap(), QPixmap(), false);
    applyToItem(referenceItem, change);
    const Shown expected = shownOf(referenceItem);

    MtChatWidget view;
    showView(view);
    fill(view, kind, id, 400);
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(view.findItem(id));
    changeBeforeLeaving(view, id, change);
    leave(view, id);
    changeWhileAway(view, id, change);
    QCOMPARE(shownOf(comeBack(view, id)), expected);
    // Only rows near the viewport carry items.
    QVERIFY(view.liveItemCount() < 60);
}

// An item made again for a row asks for its own message.
void TestChatViewScale::requestsOfRemadeItems_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("button"); // a button, or a link of a label ("label:link")
    QTest::addColumn<Heard>("expected");
    QTest::newRow("failed own text sent again")
        << Kind::OwnText << 2 << "transferButton" << Heard{"resend", "target", 0, false};
    QTest::newRow("readers of an own text")
        << Kind::OwnText << 1 << "readLabel:target" << Heard{"readers", "target", 0, false};
    QTest::newRow("sender's picture")
        << Kind::Text << 1 << "pictureButton" << Heard{"picture", QString(), 7, false};
    QTest::newRow("whole long text")
        << Kind::LongText << 1 << "viewAllButton" << Heard{"text", "target", 0, false};
    QTest::newRow("file saved") << Kind::File << 1 << "linkLabel:save"
                                << Heard{"save", "target", 0, false};
    QTest::newRow("own file saved as")
        << Kind::OwnFile << 1 << "linkLabel:saveAs" << Heard{"save", "target", 0, true};
}

void TestChatViewScale::requestsOfRemadeItems()
{
    QFETCH(Kind, kind);
    QFETCH(int, state);
    QFETCH(QString, button);
    QFETCH(Heard, expected);
    MtChatWidget view;
    showView(view);
    view.addChatRow(chatOf(kind, QStringLiteral("target"), 0, state), isOwn(kind), QPixmap(),
                    QPixmap(), false);
    for (int n = 1; n < 400; ++n)
        view.addChatRow(chatOf(kind, QStringLiteral("other-%1").arg(n), n, state), isOwn(kind),
                        QPixmap(), QPixmap(), false);
    view.scrollToTop();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QList<Heard> heard;
    record(view, heard);
    leave(view, QStringLiteral("target"));
    MtChatBaseItem* item = comeBack(view, QStringLiteral("target"));
    QTRY_VERIFY(item->isVisible());
    press(item, button);
    QCOMPARE(heard, QList<Heard>{expected});
}

// Messages are found by id after history pages above and new chats below, however many rows
// lie between; a renamed message is found by its new id only, a removed one no more.
void TestChatViewScale::findById_data()
{
    QTest::addColumn<int>("between");
    QTest::newRow("a few rows") << 3;
    QTest::newRow("3,000 rows") << 3000;
}

void TestChatViewScale::findById()
{
    QFETCH(int, between);
    MtChatWidget view;
    for (int n = 0; n < between; ++n)
        view.addChatRow(chatOf(Kind::Text, QStringLiteral("mid-%1").arg(n), 10000 + n), false,
                        QPixmap(), QPixmap(), false);
    // History: each page older than the last; new chats: each newer.
    for (int n = 0; n < 3; ++n) {
        view.addChatRow(chatOf(Kind::Text, QStringLiteral("old-%1").arg(n), 5000 - 100 * n), false,
                        QPixmap(), QPixmap(), true);
        view.addChatRow(chatOf(Kind::OwnText, QStringLiteral("new-%1").arg(n), 90000 + n), true,
                        QPixmap(), QPixmap(), false);
    }
    view.findItem(QStringLiteral("new-1"))->setMessageId(QStringLiteral("renamed"));
    QListWidgetItem* removed = view.findItem(QStringLiteral("old-1"))->listItem();
    delete view.takeItem(view.row(removed));

    const QStringList lookups = {
        QStringLiteral("old-0"), QStringLiteral("old-2"),   QStringLiteral("new-0"),
        QStringLiteral("new-2"), QStringLiteral("renamed"), QStringLiteral("new-1"),
        QStringLiteral("old-1"), QStringLiteral("mid-2"),   QString()};
    QList<Found> found;
    for (const QString& id : lookups) {
        const MtChatBaseItem* item = view.findItem(id);
        found << (item ? Found{item->messageId(), item->content()} : Found{});
    }
    const auto text = [](const QString& id, int n) { return chatOf(Kind::Text, id, n).content(); };
    const QList<Found> expected = {{"old-0", text("old-0", 5000)},
                                   {"old-2", text("old-2", 4800)},
                                   {"new-0", text("new-0", 90000)},
                                   {"new-2", text("new-2", 90002)},
                                   {"renamed", text("new-1", 90001)},
                                   {},
                                   {},
                                   {"mid-2", text("mid-2", 10002)},
                                   {}};
    QCOMPARE(found, expected);
    QCOMPARE(view.containsMessage(QStringLiteral("new-1")), false);
    QCOMPARE(view.containsMessage(QStringLiteral("renamed")), true);
}

// A notice the window adds itself (the read marker) keeps its item far from the viewport: the
// window may hold it. The rows around it lose theirs.
void TestChatViewScale::windowsNoticeStays()
{
    MtChatWidget view;
    showView(view);
    fill(view, Kind::Text, QStringLiteral("first"), 400);
    QPointer<MtChatAlarmItem> marker = view.addAlarmMessage(
        QStringLiteral("marker"), QStringLiteral("Read up to here"), kStart.addSecs(30), false);
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int markerRow = view.row(marker->listItem());
    QPointer<MtChatBaseItem> neighbour = view.chatItem(markerRow + 1);
    view.scrollToBottom();
    QTRY_VERIFY(neighbour.isNull());
    QVERIFY(!marker.isNull());
    QCOMPARE(view.row(marker->listItem()), markerRow);
    QCOMPARE(view.findItem(QStringLiteral("marker")), marker.data());
}

// 3,000 chats over 120 days, half paged in above and half appended below: one separator above
// the first chat of each day, and the bar, the bottom and the top as in a short conversation.
void TestChatViewScale::separatorsAndBarAtScale()
{
    constexpr int kPerDay = 25;
    constexpr int kChats = 3000;
    MtChatWidget view;
    showView(view);
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const auto chatAt = [](int n) {
        DBChat chat = chatOf(Kind::Text, QStringLiteral("c%1").arg(n), 0);
        chat.setMsgTime(
            kStart.addDays(n / kPerDay).addSecs(60 * (n % kPerDay)).toMSecsSinceEpoch());
        return chat;
    };
    for (int n = kChats / 2 - 1; n >= 0; --n)
        view.addChatRow(chatAt(n), false, QPixmap(), QPixmap(), true);
    for (int n = kChats / 2; n < kChats; ++n)
        view.addChatRow(chatAt(n), false, QPixmap(), QPixmap(), false);

    QList<QDate> separators;
    QList<QDate> daysBelow; // of the row under each separator
    for (int row = 0; row < view.count(); ++row) {
        const MtChatEntryData data = view.rowData(row);
        const bool separator = data.itemType == MtChatBaseItem::ItemType_Date;
        separators << (separator ? data.time.date() : QDate());
        daysBelow << (separator ? view.rowData(row + 1).time.date() : QDate());
    }
    separators.removeAll(QDate());
    daysBelow.removeAll(QDate());
    QList<QDate> days;
    for (int day = 0; day < kChats / kPerDay; ++day)
        days << kStart.date().addDays(day);
    QCOMPARE(separators, days);
    QCOMPARE(daysBelow, days);
    QCOMPARE(view.dateItemCount(), kChats / kPerDay);
    QCOMPARE(view.count(), kChats + kChats / kPerDay);
    QCOMPARE(view.topDate(), days.first());
    QCOMPARE(view.bottomDate(), days.last());

    QSignalSpy top(&view, &MtChatWidget::movedToTop);
    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    QCOMPARE(view.isScrolledToBottom(), false);
    view.showNewMessage(QStringLiteral("Member : hello"));
    QCOMPARE(view.newMessageButton()->isVisible(), true);
    view.scrollToBottom();
    QTRY_VERIFY(view.newMessageButton()->isHidden());
    QCOMPARE(view.isScrolledToBottom(), true);
    QCOMPARE(top.count(), 0);
    view.scrollToTop();
    QCOMPARE(top.count(), 1);
    // The rows on screen carry their items; far ones do not.
    QTRY_VERIFY(!view.itemWidget(view.item(view.count() - 1)));
    QVERIFY(view.itemWidget(view.item(1)));
}

// The height a row gets before it has an item is the height its item takes once made.
void TestChatViewScale::measuredHeights_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("readCount");
    const QString longLine = QStringLiteral("a line that is far too long for one row of the "
                                            "conversation and wraps into several lines there, ")
                                 .repeated(3);
    QTest::newRow("short text") << Kind::Text << "hi" << 1 << 0;
    QTest::newRow("wrapped text") << Kind::Text << longLine << 1 << 2;
    QTest::newRow("many lines") << Kind::Text << "1\n2\n3\n4\n5\n6\n7" << 1 << 0;
    QTest::newRow("web address") << Kind::Text << "see https://example.org/a/b and <b>this</b>" << 1
                                 << 0;
    QTest::newRow("own text sending") << Kind::OwnText << longLine << 0 << 0;
    QTest::newRow("own text failed, read") << Kind::OwnText << "short" << 2 << 3;
    QTest::newRow("own text settled") << Kind::OwnText << longLine + "\n\nend" << 1 << 1;
    QTest::newRow("notice") << Kind::Notice << longLine << 1 << 0;
    QTest::newRow("file") << Kind::File << "" << 1 << 0;
    QTest::newRow("own file uploading") << Kind::OwnFile << "" << 3 << 0;
}

void TestChatViewScale::measuredHeights()
{
    QFETCH(Kind, kind);
    QFETCH(QString, text);
    QFETCH(int, state);
    QFETCH(int, readCount);
    MtChatWidget view;
    showView(view);
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    DBChat chat = chatOf(kind, QStringLiteral("m"), 0, state, text);
    chat.setCount(readCount);
    view.addChatRow(chat, isOwn(kind), QPixmap(), QPixmap(), false);
    // Row 0 is the day's separator.
    const int measured = view.item(1)->sizeHint().height();
    MtChatBaseItem* item = view.chatItem(1);
    // Placed by the view at its row, at the row's width.
    QTRY_COMPARE(item->geometry().topLeft(), view.visualItemRect(view.item(1)).topLeft());
    QCOMPARE(item->width(), view.viewport()->width());
    QCOMPARE(item->sizeHint().height(), measured);
}

// Rows far from the viewport, measured at the old width, get the heights of the new width after
// the view narrows: the same as a view that was that narrow from the start.
void TestChatViewScale::heightsFollowTheWidth()
{
    const QString text = QStringLiteral("words that wrap once the view is narrow ").repeated(4);
    const auto build = [&text](MtChatWidget& view, int width) {
        view.resize(width, 300);
        view.show();
        for (int n = 0; n < 300; ++n)
            view.addChatRow(chatOf(Kind::Text, QStringLiteral("w%1").arg(n), n, 1, text), false,
                            QPixmap(), QPixmap(), false);
        view.scrollToTop();
    };
    MtChatWidget narrow;
    build(narrow, 320);
    MtChatWidget view;
    build(view, 520);
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int last = view.count() - 1;
    const int wide = view.item(last)->sizeHint().height();
    view.resize(320, 300);
    QTRY_COMPARE(view.item(last)->sizeHint().height(), narrow.item(last)->sizeHint().height());
    QVERIFY(view.item(last)->sizeHint().height() > wide);
    QCOMPARE(view.itemWidget(view.item(last)), nullptr);
}

// Rows added in a batch get no item while it lasts; a row shown afterwards is wholly in view at
// once, and stays so while the rows' estimated heights are measured, which end as those of rows
// added one by one.
void TestChatViewScale::batchedRows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    const QString wrapped = QStringLiteral("a line long enough to wrap in a bubble of the view ");
    QTest::newRow("wrapped texts, a row in the middle") << wrapped << "old-700";
    QTest::newRow("lines, the oldest row") << QStringLiteral("line\nline\n") << "old-400";
    QTest::newRow("short texts, the newest batch row") << QStringLiteral("hi ") << "old-999";
    QTest::newRow("short texts, the page's newest row") << QStringLiteral("hi ") << "page-1029";
}

void TestChatViewScale::batchedRows()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    MtChatWidget plain;
    showView(plain);
    fillHistory(plain, text, false);
    MtChatWidget view;
    showView(view);
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    int itemsMade = -1;
    fillHistory(view, text, true, &itemsMade);
    MtChatBaseItem* item = view.showMessage(shown);
    QCOMPARE((Batched{itemsMade, item ? item->messageId() : QString(), wholeInView(view, shown)}),
             (Batched{0, shown, true}));
    QTRY_COMPARE(rowHeights(view), rowHeights(plain));
    QCOMPARE(wholeInView(view, shown), true);
}

// A row shown by showMessage is no longer held in view once the user scrolls: the view stays
// where the user took it while the rows above are measured.
void TestChatViewScale::scrollingLeavesTheShownRow()
{
    const QString text = QStringLiteral("a line long enough to wrap in a bubble of the view ");
    MtChatWidget plain;
    showView(plain);
    fillHistory(plain, text, false);
    MtChatWidget view;
    showView(view);
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    fillHistory(view, text, true);
    view.showMessage(QStringLiteral("old-700"));
    view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    QTRY_COMPARE(rowHeights(view), rowHeights(plain));
    QCOMPARE(view.verticalScrollBar()->value(), 0);
}

// A row kept at the top from inside a batch is placed as the batch ends, before the rows in view
// get their items: none is made where the view stood, and the row stays at the top while the
// rows' estimated heights are measured to those of rows added one by one.
void TestChatViewScale::rowAtTopAfterBatch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    const QString wrapped = QStringLiteral("a line long enough to wrap in a bubble of the view ");
    QTest::newRow("wrapped texts, a row in the middle") << wrapped << "old-700";
    QTest::newRow("lines, the oldest row") << QStringLiteral("line\nline\n") << "old-400";
}

void TestChatViewScale::rowAtTopAfterBatch()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);
    MtChatWidget plain;
    showView(plain);
    fillHistory(plain, text, false);
    MtChatWidget view;
    showView(view);
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    for (int n = 1000; n < 1030; ++n)
        view.addChatRow(chatOf(Kind::Text, QStringLiteral("page-%1").arg(n), n), false, QPixmap(),
                        QPixmap(), false);
    view.scrollToBottom();
    QCoreApplication::processEvents();
    view.beginBatch();
    for (int n = 999; n >= 400; --n)
        view.addChatRow(
            chatOf(Kind::Text, QStringLiteral("old-%1").arg(n), n, 1, text.repeated(n % 3 + 1)),
            false, QPixmap(), QPixmap(), true);
    view.showRowAtTop(view.item(rowOf(view, kept)));
    view.endBatch();
    QCOMPARE(atTop(view, rowOf(view, kept)), (AtTop{0, true, 0}));
    QTRY_COMPARE(rowHeights(view), rowHeights(plain));
    QCOMPARE(atTop(view, rowOf(view, kept)), (AtTop{0, true, 0}));
}

QTEST_MAIN(TestChatViewScale)
#include "tst_chatviewscale.moc"
