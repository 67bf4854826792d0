#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

// Which entries the tray menu and the main window's menu offer, from the two session flags: a
// user is logged in (`login`), the lock page is up (`lock`). The lock can be up without a login
// after a failed unlock, which still offers "Log off".
class MainMenuItems
{
    Q_DECLARE_TR_FUNCTIONS(MainMenuItems)
public:
    enum Item
    {
        Open,
        CreateChat,
        LockMode,
        Settings,
        LogOff,
        Exit,
        Separator
    };

    struct Menu
    {
        QList<Item> items;
        // The main menu's tall, centred entries (kMainMenuStyleSheet) while logged in.
        bool styled = false;
        bool operator==(const Menu& o) const { return items == o.items && styled == o.styled; }
    };

    static constexpr const char* kMainMenuStyleSheet =
        "QMenu::item { border: none; height: 40px; min-width:50px; qproperty-alignment: "
        "AlignCenter;}";

    // "Open" | "Lock Mode" while logged in and unlocked | "Log off" while logged in or locked |
    // "Exit", with a separator after each but the last.
    static Menu trayMenu(bool login, bool lock);
    // Logged in and unlocked: "Create Chat", "Lock Mode", "Settings", "Log off", each followed by
    // a separator, and "Exit"; otherwise "Exit" only.
    static Menu mainMenu(bool login, bool lock);
    // The entry's text as the user reads it; empty for a separator.
    static QString text(Item item);
};
