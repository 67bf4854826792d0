// Every window as a user meets it, in English and Korean at scale 1 and 2 (set by CTest): texts
// that fit, Tab and Escape, names for a screen reader, and what a screen reader hears of rows.
#include "app/language.h"
#include "chat/chatdialog.h"
#include "common/typed.h"
#include "main/chatroomitem.h"
#include "main/chatroomlist.h"
#include "main/chatroomlistwidgetitem.h"
#include "main/chatwindows.h"
#include "main/maindialog.h"
#include "main/mainmenuitems.h"
#include "resources/mtresources.h"
#include "screens/windowtour.h"
#include "store/dbchat.h"
#include "store/dbtypes.h"
#include "widgets/elidelabel.h"
#include "widgets/mtchatwidget.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

namespace {
// Title bar buttons and the room picture: window keys and the chat menu do their work, not Tab.
const QStringList kTitleBarButtons = {"minimizeButton", "maximumButton",  "closeButton",
                                      "maximizeButton", "exitPushButton", "thubnailButton"};

QString describe(const QWidget* w)
{
    return QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
}

// What a user misses in a window: cut texts, controls Tab misses, unnamed buttons, Escape.
struct Seen
{
    QStringList cut;
    QStringList unreachable;
    QStringList unnamed;
    bool leftByEscape = true;
    MT_TYPED(Seen, cut, unreachable, unnamed, leftByEscape)
};

// Plain one-line texts only: wrapped, rich and eliding labels find their own way.
QStringList cutTexts(QWidget* window)
{
    QStringList cuts;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        auto* label = qobject_cast<QLabel*>(w);
        auto* button = qobject_cast<QAbstractButton*>(w);
        const bool plain = label && !label->wordWrap() && !Qt::mightBeRichText(label->text());
        const QString text = plain ? label->text() : button ? button->text() : QString();
        // A push or tool button's own minimum width is the style's, not its text's.
        const bool textButton = button && !w->inherits("QCheckBox") && !w->inherits("QRadioButton");
        const int needed = textButton
                               ? w->fontMetrics().horizontalAdvance(text) +
                                     (button->icon().isNull() ? 0 : button->iconSize().width())
                               : w->minimumSizeHint().width();
        if (w->isVisible() && !w->visibleRegion().isEmpty() && !w->inherits("ElideLabel") &&
            !text.trimmed().isEmpty() && w->width() < needed)
            cuts << QStringLiteral("%1 '%2' %3/%4")
                        .arg(describe(w), text)
                        .arg(w->width())
                        .arg(needed);
    }
    return cuts;
}

bool isControl(const QWidget* w)
{
    const auto* text = qobject_cast<const QTextEdit*>(w);
    const auto* plain = qobject_cast<const QPlainTextEdit*>(w);
    return (text && !text->isReadOnly()) || (plain && !plain->isReadOnly()) ||
           qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QAbstractItemView*>(w);
}

// Inside a compound control, which the keyboard works through its owner.
bool insideControl(const QWidget* w, const QWidget* window)
{
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget()) {
        if (qobject_cast<QLineEdit*>(p) || p->inherits("MtSearchLineEdit") ||
            qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractSpinBox*>(p) ||
            qobject_cast<QAbstractItemView*>(p))
            return true;
    }
    return false;
}

// The controls a user can work that Tab, pressed until it comes round, never met.
QStringList unreachableBy(QWidget* window)
{
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (isControl(w) && w->isVisibleTo(window) && w->isEnabled() &&
            !kTitleBarButtons.contains(w->objectName()) && !insideControl(w, window))
            controls << w;
    }
    QSet<QWidget*> met{QApplication::focusWidget()};
    for (int i = 0; i < controls.size() * 2 + 4; ++i) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : window, Qt::Key_Tab);
        met << QApplication::focusWidget();
    }
    QStringList missing;
    for (QWidget* w : controls) {
        if (!met.contains(w) && !met.contains(w->focusProxy()))
            missing << describe(w);
    }
    return missing;
}

// Every visible button has a name for a screen reader.
QStringList unnamedButtons(QWidget* window)
{
    QStringList unnamed;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(b);
        if (b->isVisibleTo(window) && (!face || face->text(QAccessible::Name).trimmed().isEmpty()))
            unnamed << describe(b);
    }
    return unnamed;
}

// Shown and, unless it is a notice that takes no focus, active.
bool activate(QWidget* window, bool takesFocus = true)
{
    window->show();
    QApplication::setActiveWindow(window);
    const bool active =
        takesFocus ? QTest::qWaitForWindowActive(window) : QTest::qWaitForWindowExposed(window);
    // Layouts are settled by posted requests; measure after them, not before.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    return active;
}

// What a user misses in a shown window; a notice that takes no focus is read, not worked.
Seen seenIn(QWidget* w, bool takesFocus)
{
    Seen seen{cutTexts(w), {}, unnamedButtons(w)};
    if (!takesFocus)
        return seen;
    seen.unreachable = unreachableBy(w);
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus && focus->window() == w ? focus : w, Qt::Key_Escape);
    seen.leftByEscape = !w->isVisible();
    return seen;
}

// The room list's rows in view, by their index in the list.
QMap<int, ChatRoomItem*> shownRows(ChatRoomList* list)
{
    QMap<int, ChatRoomItem*> rows;
    for (int i = 0; i < list->count(); ++i) {
        auto* row = qobject_cast<ChatRoomItem*>(list->itemWidget(list->item(i)));
        if (row && row->isVisible() && !row->visibleRegion().isEmpty())
            rows.insert(i, row);
    }
    return rows;
}

// The box around the pixels that differ between two drawings of the same size.
QRect inkBox(const QImage& image, const QImage& other)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            box |= image.pixel(x, y) != other.pixel(x, y) ? QRect(x, y, 1, 1) : QRect();
    }
    return box;
}
// A stored chat as the chat window hands it to the view.
struct Chat
{
    bool own = false;
    int msgType = MsgTypeChat;
    int contentType = ContentTypeText;
    QString sender;
    QString content; // the text, file or picture name; for a notice, who was invited or left
    int msgState = MsgStateConfirmed;
    int count = 0;
};

// A view as the chat window shows it, holding the chat under its date separator.
std::unique_ptr<MtChatWidget> viewWith(const Chat& c)
{
    DBChat chat;
    chat.setMsgId(QStringLiteral("m1"));
    chat.setSenderId(c.own ? 1 : 2);
    chat.setSenderName(c.sender);
    chat.setMsgType(c.msgType);
    chat.setMsgTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7)).toMSecsSinceEpoch());
    chat.setMsgState(c.msgState);
    chat.setCount(c.count);
    chat.setContent(ContentTypeText, c.content);
    if (c.contentType == ContentTypeImage)
        chat.setImage(QString(), QString(), c.content, 40, 30);
    if (c.contentType == ContentTypeFile)
        chat.setFile(QString(), c.content, 12345, QString());
    auto view = std::make_unique<MtChatWidget>();
    view->resize(420, 600);
    view->show();
    QPixmap thumbnail(40, 30);
    thumbnail.fill(Qt::darkCyan);
    view->addChat(chat, c.own, QPixmap(), thumbnail, false);
    return view;
}

// What a screen reader hears of a row of the view: its role, and the parts it does not say.
struct Spoken
{
    QAccessible::Role role = QAccessible::ListItem;
    QStringList unsaid;
    MT_TYPED(Spoken, role, unsaid)
};

QString heard(MtChatWidget* view, int row)
{
    return QAccessible::queryAccessibleInterface(view)->child(row)->text(QAccessible::Name);
}
} // namespace

Q_DECLARE_METATYPE(Chat)

class TestWindows : public QObject
{
    Q_OBJECT
    WindowTour m_tour;
    QMap<QString, WindowTour::Stop> m_stops;

private slots:
    void initTestCase()
    {
        mtInitResources();
        initLanguage();
        QVERIFY2(QLocale().language() != QLocale::Korean || installedTranslators().at(1),
                 "the Korean translations did not load");
        QVERIFY2(m_tour.start(), qPrintable(m_tour.errorString()));
        for (const WindowTour::Stop& stop : m_tour.stops())
            m_stops.insert(stop.name, stop);
    }

    // A row keeps six characters of its name and its count off the picture, and says it all.
    void roomRows()
    {
        QWidget* main = m_stops.value(QStringLiteral("roomlist")).show();
        QVERIFY2(main && activate(main), "the room list could not be brought up");
        const QMap<int, ChatRoomItem*> rows = shownRows(m_tour.mainWindow()->chatRoomList());
        QVERIFY2(rows.size() > 1, "too few room list rows are shown");
        QAccessibleInterface* list =
            QAccessible::queryAccessibleInterface(m_tour.mainWindow()->chatRoomList());
        QStringList seen;
        int counts = 0;
        for (const int i : rows.keys()) {
            const auto* title = rows[i]->findChild<ElideLabel*>(QStringLiteral("titleLabel"));
            const QRect area = title->contentsRect();
            const QString shown = title->visibleLines(area.width(), area.height()).value(0);
            const int kept = shown.size() - (shown.endsWith(QChar(0x2026)) ? 1 : 0);
            seen << (kept < qMin(6, int(title->text().size())) ? "squeezed: " + shown : QString());
            auto* count = rows[i]->findChild<QLabel*>(QStringLiteral("memberCountLabel"));
            const QString text = count->text();
            const QImage withText = count->grab().toImage();
            count->setText(QString());
            const QImage picture = count->grab().toImage();
            count->setText(text);
            // The picture is what differs from the label's ground, which the text's corner shows.
            QImage ground(picture.size(), picture.format());
            ground.fill(picture.pixel(picture.width() - 1, 0));
            const QRect textBox = inkBox(withText, picture);
            const bool over = count->isVisible() &&
                              (textBox.isEmpty() || inkBox(picture, ground).intersects(textBox));
            seen << (over ? "count over its picture: " + text : QString());
            counts += count->isVisible();
            const QString spoken = list->child(i)->text(QAccessible::Name);
            for (const char* name :
                 {"titleLabel", "dateTimeLabel", "messageLabel", "unreadCountLabel"}) {
                // Plain and eliding labels alike carry their whole text in the "text" property.
                const QWidget* label = rows[i]->findChild<QWidget*>(QLatin1String(name));
                const QString said =
                    label->isVisibleTo(rows[i]) ? label->property("text").toString() : "";
                seen << (spoken.contains(said) ? QString()
                                               : "unsaid " + QLatin1String(name) + ": " + said);
            }
        }
        seen.removeAll(QString());
        QVERIFY2(counts > 0, "no shown row has a member count");
        QCOMPARE(Seen{seen}, Seen{});
    }

    // Return on the current row of the room list opens that room's window.
    void roomOpensWithReturn()
    {
        MainDialog* main = m_tour.mainWindow();
        ChatRoomList* list = main->chatRoomList();
        QVERIFY(activate(main));
        list->setFocus();
        list->setCurrentRow(1);
        const QString topic = static_cast<ChatRoomListWidgetItem*>(list->item(1))->topic();
        QTest::keyClick(list, Qt::Key_Return);
        const ChatDialog* window = main->chatWindows()->window(topic);
        QCOMPARE(window && window->isVisible(), true);
    }

    // Desktop habits in a room's window, pressed from its message box with nothing typed.
    void chatWindowKeys_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("focus"); // in the window afterwards; empty: the window closed
        QTest::newRow("Ctrl+F searches the room")
            << QKeySequence(QKeySequence::Find) << "MtSearchLineEdit::LineEdit";
        QTest::newRow("Ctrl+W closes the window") << QKeySequence(Qt::CTRL + Qt::Key_W) << "";
    }

    void chatWindowKeys()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(QString, focus);
        QWidget* chat = m_stops.value(QStringLiteral("chat")).show();
        QVERIFY2(chat && activate(chat), "no chat window");
        QWidget* messageBox = chat->findChild<QWidget*>(QStringLiteral("textEdit"));
        messageBox->setFocus();
        QTest::keySequence(messageBox, keys);
        QWidget* now = QApplication::focusWidget();
        QCOMPARE(chat->isVisible() && now && now->window() == chat ? now->objectName() : QString(),
                 focus);
        chat->close();
    }

    // Ctrl+Q quits from the main window, and the main menu's "Exit" shows the key.
    void quitFromMainMenu()
    {
        MainDialog* main = m_tour.mainWindow();
        std::unique_ptr<QMenu> menu(main->createMainMenu());
        const QString exit = MainMenuItems::text(MainMenuItems::Exit);
        QStringList keys{QString(), QString()};
        for (QAction* action : menu->actions())
            keys[0] += action->text() == exit ? action->shortcut().toString() : QString();
        for (QAction* action : main->actions())
            keys[1] += action->text() == exit ? action->shortcut().toString() : QString();
        QCOMPARE(keys, (QStringList{"Ctrl+Q", "Ctrl+Q"}));
    }

    void conversationRowsSpeak_data()
    {
        QTest::addColumn<Chat>("chat");
        QTest::addColumn<int>("row"); // 0: the date separator above the chat, 1: the chat
        QTest::addColumn<QStringList>("parts");
        const QString minsu = QStringLiteral("김민수 Kim");
        const QString younghee = QStringLiteral("Lee 이영희");
        QTest::newRow("another member's message")
            << Chat{false, 1, 1, minsu, "Lunch?"} << 1 << QStringList{minsu, "Lunch?", "07"};
        QTest::newRow("own message read by three")
            << Chat{true, 1, 1, "Me", "On my way", 1, 3} << 1 << QStringList{"On my way", "3"};
        QTest::newRow("another member's file")
            << Chat{false, 1, ContentTypeFile, minsu, "report.pdf"} << 1
            << QStringList{minsu, "report.pdf", "13"};
        QTest::newRow("own picture read by one")
            << Chat{true, 1, ContentTypeImage, "Me", "beach.jpg", 1, 1} << 1 << QStringList{"1"};
        QTest::newRow("invitation")
            << Chat{false, MsgTypeInvite, 1, minsu, younghee} << 1 << QStringList{minsu, younghee};
        QTest::newRow("leave") << Chat{false, MsgTypeLeave, 1, younghee, younghee} << 1
                               << QStringList{younghee};
        QTest::newRow("date separator")
            << Chat{false, 1, 1, minsu, "Lunch?"} << 0 << QStringList{"2024", "3", "5"};
    }

    void conversationRowsSpeak()
    {
        QFETCH(Chat, chat);
        QFETCH(int, row);
        QFETCH(QStringList, parts);
        const std::unique_ptr<MtChatWidget> view = viewWith(chat);
        QAccessibleInterface* cell = QAccessible::queryAccessibleInterface(view.get())->child(row);
        const QString name = cell->text(QAccessible::Name);
        Spoken spoken{cell->role(), {}};
        for (const QString& part : parts)
            spoken.unsaid << (name.contains(part) ? QString() : part);
        spoken.unsaid.removeAll(QString());
        QCOMPARE(spoken, Spoken{});
    }

    // Sending, failed and read own messages sound apart; a read count set later is heard.
    void ownStatesSpeakApart()
    {
        QSet<QString> said;
        for (const int state : {MsgStateNew, MsgStateUploadFailed, MsgStateConfirmed})
            said << heard(viewWith(Chat{true, 1, 1, "Me", "On my way", state}).get(), 1);
        const std::unique_ptr<MtChatWidget> view = viewWith(Chat{true, 1, 1, "Me", "On my way"});
        QVERIFY(view->setMessageReadCount(QStringLiteral("m1"), 4));
        QCOMPARE(said.size(), 3);
        QVERIFY2(heard(view.get(), 1).contains('4'), qPrintable(heard(view.get(), 1)));
    }

    // In the tour's order: the login page first, the lock page (closing the chat windows) last.
    void windows_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("takesFocus");
        for (const char* name : {"login", "roomlist", "chat", "settings", "password", "profile",
                                 "picture", "invite", "members", "toast", "backalert", "lock"})
            QTest::newRow(name) << QString::fromLatin1(name) << (QLatin1String(name) != "toast");
    }

    void windows()
    {
        QFETCH(QString, window);
        QFETCH(bool, takesFocus);
        const WindowTour::Stop stop = m_stops.value(window);
        QWidget* w = stop.show ? stop.show() : nullptr;
        QVERIFY2(w, "the window could not be brought up");
        std::unique_ptr<QWidget> owned(stop.owned ? w : nullptr);
        QVERIFY(activate(w, takesFocus));
        QCOMPARE(seenIn(w, takesFocus), Seen{});
    }

    void cleanupTestCase() { deleteTranslators(); }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
