#include "main/mainmenuitems.h"

MainMenuItems::Menu MainMenuItems::trayMenu(bool login, bool lock)
{
    Menu menu;
    menu.items << Open << Separator;
    if (login && !lock)
        menu.items << LockMode << Separator;
    if (login || lock)
        menu.items << LogOff << Separator;
    menu.items << Exit;
    return menu;
}

MainMenuItems::Menu MainMenuItems::mainMenu(bool login, bool lock)
{
    Menu menu;
    menu.styled = login && !lock;
    if (menu.styled) {
        menu.items << CreateChat << Separator << LockMode << Separator << Settings << Separator
                   << LogOff << Separator;
    }
    menu.items << Exit;
    return menu;
}

QString MainMenuItems::text(Item item)
{
    switch (item) {
    case Open:
        return tr("Open");
    case CreateChat:
        return tr("Create Chat");
    case LockMode:
        return tr("Lock Mode");
    case Settings:
        return tr("Settings");
    case LogOff:
        return tr("Log off");
    case Exit:
        return tr("Exit");
    case Separator:
        break;
    }
    return QString();
}
