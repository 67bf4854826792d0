// Every window used without a mouse: the Tab key reaches each control a user can work, in the
// window as a user meets it (the window tour, against the reference server), and every button
// that shows only a picture tells a screen reader its name.
#include "chat/chatdialog.h"
#include "main/chatroomlist.h"
#include "main/chatroomlistwidgetitem.h"
#include "main/chatwindows.h"
#include "main/maindialog.h"
#include "main/mainmenuitems.h"
#include "screens/windowtour.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QtTest>

namespace {
// Buttons of a window's own title bar: the desktop's window keys (and Escape, Ctrl+W) do their
// work, so they stay out of the Tab order as they do on a window manager's frame. The chat
// window's room picture opens the members, which its menu offers too.
const QStringList kTitleBarButtons = {"minimizeButton", "maximumButton",  "closeButton",
                                      "maximizeButton", "exitPushButton", "thubnailButton"};

// What the keyboard and a screen reader cannot reach in a window.
struct Reach
{
    QStringList unreachable;
    QStringList unnamed;
    bool operator==(const Reach& o) const
    {
        return unreachable == o.unreachable && unnamed == o.unnamed;
    }
};

QString describe(const QWidget* w)
{
    const QString name = w->objectName().isEmpty() ? QStringLiteral("(unnamed)") : w->objectName();
    return QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + name;
}

bool isControl(const QWidget* w)
{
    if (auto* edit = qobject_cast<const QTextEdit*>(w))
        return !edit->isReadOnly();
    if (auto* edit = qobject_cast<const QPlainTextEdit*>(w))
        return !edit->isReadOnly();
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QAbstractItemView*>(w);
}

// Inside a compound control (the buttons of a search field, the line edit of a combo box, the
// widgets of a list's rows), which the keyboard works through its owner.
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

// The controls a user sees and can work, less the title bar's.
QList<QWidget*> controlsOf(QWidget* window)
{
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (isControl(w) && w->isVisibleTo(window) && w->isEnabled() &&
            !kTitleBarButtons.contains(w->objectName()) && !insideControl(w, window))
            controls << w;
    }
    return controls;
}

// Presses Tab from the first control until the focus comes round, and names what it never met.
QStringList unreachableBy(QWidget* window, const QList<QWidget*>& controls)
{
    QSet<QWidget*> met;
    if (QApplication::focusWidget())
        met << QApplication::focusWidget();
    for (int i = 0; i < controls.size() * 2 + 4; ++i) {
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : window;
        QTest::keyClick(focus, Qt::Key_Tab);
        if (QApplication::focusWidget())
            met << QApplication::focusWidget();
    }
    QStringList missing;
    for (QWidget* w : controls) {
        if (!met.contains(w) && !met.contains(w->focusProxy()))
            missing << describe(w);
    }
    missing.sort();
    return missing;
}

// Every button a user sees, a picture one included, has a name for a screen reader: what Qt's
// accessibility interface tells it.
QStringList unnamedButtons(QWidget* window)
{
    QStringList unnamed;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(window))
            continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(b);
        if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << describe(b);
    }
    unnamed.sort();
    return unnamed;
}
// Where the keyboard is after a key in a chat window.
struct ChatKeys
{
    bool windowVisible = false;
    bool searchVisible = false;
    QString focus;
    bool operator==(const ChatKeys& o) const
    {
        return windowVisible == o.windowVisible && searchVisible == o.searchVisible &&
               focus == o.focus;
    }
};

ChatKeys chatKeysOf(QWidget* chat)
{
    const QWidget* search = chat->findChild<QWidget*>(QStringLiteral("searchLineEdit"));
    const QWidget* focus = QApplication::focusWidget();
    return {chat->isVisible(), search && search->isVisibleTo(chat),
            focus && focus->window() == chat ? focus->objectName() : QString()};
}
Reach reachOf(QWidget* window)
{
    const QList<QWidget*> controls = controlsOf(window);
    return {unreachableBy(window, controls), unnamedButtons(window)};
}

// Where a key pressed in the window goes: its focus widget, else the window itself.
QWidget* keyTarget(QWidget* window)
{
    QWidget* focus = QApplication::focusWidget();
    return focus && focus->window() == window ? focus : window;
}

bool activate(QWidget* window)
{
    window->show();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}
} // namespace

Q_DECLARE_METATYPE(Reach)
Q_DECLARE_METATYPE(ChatKeys)

namespace QTest {
template <>
char* toString(const Reach& r)
{
    return qstrdup(
        QStringLiteral("unreachable by Tab: [%1]; buttons without a name: [%2]")
            .arg(r.unreachable.join(QLatin1String(", ")), r.unnamed.join(QLatin1String(", ")))
            .toUtf8()
            .constData());
}
template <>
char* toString(const ChatKeys& k)
{
    return qstrdup(QStringLiteral("window %1, search field %2, focus on '%3'")
                       .arg(k.windowVisible ? QStringLiteral("shown") : QStringLiteral("closed"),
                            k.searchVisible ? QStringLiteral("shown") : QStringLiteral("hidden"),
                            k.focus)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class TestKeyboard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    // In the order of the tour: the login page before the room list, the lock page (which
    // closes the chat windows) last.
    void windows_data();
    void windows();
    void chatWindowKeys_data();
    void chatWindowKeys();
    void dialogsCloseWithEscape_data();
    void dialogsCloseWithEscape();
    void quitFromMainMenu();
    void roomRowsSpeak();
    void roomOpensWithReturn();
    void lockPage();

private:
    WindowTour m_tour;
    QMap<QString, WindowTour::Stop> m_stops;
};

void TestKeyboard::initTestCase()
{
    QVERIFY2(m_tour.start(), qPrintable(m_tour.errorString()));
    for (const WindowTour::Stop& stop : m_tour.stops())
        m_stops.insert(stop.name, stop);
}

void TestKeyboard::windows_data()
{
    QTest::addColumn<QString>("window");
    for (const char* name : {"login", "roomlist", "chat", "settings", "password", "profile",
                             "picture", "invite", "members", "backalert"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestKeyboard::windows()
{
    QFETCH(QString, window);
    QVERIFY2(m_stops.contains(window), "the tour has no such window");
    const WindowTour::Stop stop = m_stops.value(window);
    QWidget* w = stop.show();
    QVERIFY2(w, "the window could not be brought up");
    std::unique_ptr<QWidget> owned(stop.owned ? w : nullptr);
    QVERIFY(activate(w));
    QCOMPARE(reachOf(w), Reach{});
}

// A screen reader on a room list row says what the row shows: room, time, message, unread.
void TestKeyboard::roomRowsSpeak()
{
    ChatRoomList* list = m_tour.mainWindow()->chatRoomList();
    QVERIFY2(list->count() > 0, "no rooms");
    QWidget* row = list->itemWidget(list->item(0));
    QVERIFY2(row, "the first row has no widget");
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(list);
    QVERIFY(face && face->childCount() > 0);
    const QString spoken = face->child(0)->text(QAccessible::Name);
    QStringList unsaid;
    QStringList shownTexts;
    for (const char* name : {"titleLabel", "dateTimeLabel", "messageLabel", "unreadCountLabel"}) {
        // Plain and eliding labels alike carry their whole text in the "text" property.
        const QWidget* label = row->findChild<QWidget*>(QLatin1String(name));
        const QString shown =
            label && label->isVisibleTo(row) ? label->property("text").toString() : QString();
        shownTexts << shown;
        if (!spoken.contains(shown))
            unsaid << QLatin1String(name) + QStringLiteral(": ") + shown;
    }
    shownTexts.removeAll(QString());
    QVERIFY2(shownTexts.size() >= 3, "the row shows too little to judge");
    QCOMPARE(unsaid, QStringList());
}

// Return on the current row of the room list opens that room's window.
void TestKeyboard::roomOpensWithReturn()
{
    MainDialog* main = m_tour.mainWindow();
    ChatRoomList* list = main->chatRoomList();
    QVERIFY2(list->count() > 1, "too few rooms");
    QVERIFY(activate(main));
    list->setFocus();
    list->setCurrentRow(1);
    const QString topic = static_cast<ChatRoomListWidgetItem*>(list->item(1))->topic();
    QTest::keyClick(list, Qt::Key_Return);
    const ChatDialog* window = main->chatWindows()->window(topic);
    QCOMPARE(window && window->isVisible(), true);
}

void TestKeyboard::lockPage()
{
    QWidget* w = m_stops.value(QStringLiteral("lock")).show();
    QVERIFY2(w, "the main window did not lock");
    QVERIFY(activate(w));
    QCOMPARE(reachOf(w), Reach{});
}

// Desktop habits in a room's window, pressed from its message box with nothing typed.
void TestKeyboard::chatWindowKeys_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<ChatKeys>("expected");
    QTest::newRow("Ctrl+F searches the room")
        << QKeySequence(QKeySequence::Find) << ChatKeys{true, true, "MtSearchLineEdit::LineEdit"};
    QTest::newRow("Ctrl+W closes the window") << QKeySequence(Qt::CTRL + Qt::Key_W) << ChatKeys{};
    QTest::newRow("Escape closes the window") << QKeySequence(Qt::Key_Escape) << ChatKeys{};
}

void TestKeyboard::chatWindowKeys()
{
    QFETCH(QKeySequence, keys);
    QFETCH(ChatKeys, expected);
    QWidget* chat = m_stops.value(QStringLiteral("chat")).show();
    QVERIFY2(chat, "no chat window");
    QVERIFY(activate(chat));
    QWidget* messageBox = chat->findChild<QWidget*>(QStringLiteral("textEdit"));
    QVERIFY2(messageBox, "the chat window has no message box");
    messageBox->setFocus();
    QTest::keySequence(messageBox, keys);
    QCOMPARE(chatKeysOf(chat), expected);
    chat->close();
}

void TestKeyboard::dialogsCloseWithEscape_data()
{
    QTest::addColumn<QString>("window");
    for (const char* name :
         {"settings", "password", "profile", "picture", "invite", "members", "backalert"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Escape leaves every dialog, wherever the focus is in it.
void TestKeyboard::dialogsCloseWithEscape()
{
    QFETCH(QString, window);
    const WindowTour::Stop stop = m_stops.value(window);
    std::unique_ptr<QWidget> dialog(stop.show());
    QVERIFY2(dialog, "the dialog could not be brought up");
    QVERIFY(activate(dialog.get()));
    QTest::keyClick(keyTarget(dialog.get()), Qt::Key_Escape);
    QCOMPARE(dialog->isVisible(), false);
}

// Ctrl+Q quits from the main window, and the main menu's "Exit" shows the key.
void TestKeyboard::quitFromMainMenu()
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

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
