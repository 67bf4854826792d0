#include "main/chatwindows.h"

#include "chat/chatdialog.h"
#include "platform/memoryrelease.h"
#include "session/mtsession.h"
#include "store/dbtypes.h"

#include <QDebug>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

ChatWindows::ChatWindows(QWidget* mainWindow, QObject* parent)
    : QObject(parent), m_mainWindow(mainWindow)
{
    m_releaseMemory.setSingleShot(true);
    m_releaseMemory.setInterval(kReleaseDelayMs);
    connect(&m_releaseMemory, &QTimer::timeout, this, [] { platformReleaseFreeMemory(); });
}

ChatWindows::~ChatWindows()
{
    for (const QPointer<ChatDialog>& dialog : qAsConst(m_windows))
        delete dialog.data();
}

QList<ChatDialog*> ChatWindows::windows() const
{
    QList<ChatDialog*> open;
    for (const QPointer<ChatDialog>& dialog : m_windows) {
        if (dialog)
            open.append(dialog);
    }
    return open;
}

ChatDialog* ChatWindows::window(const QString& topic) const
{
    if (topic.isEmpty())
        return nullptr;
    for (ChatDialog* dialog : windows()) {
        if (dialog->topic() == topic)
            return dialog;
    }
    return nullptr;
}

bool ChatWindows::raise(const QString& topic)
{
    ChatDialog* dialog = window(topic);
    if (!dialog)
        return false;
    qDebug().noquote().nospace() << "MainDialog::openChatDialog show exist ChatDialog topic:"
                                 << topic;
    dialog->showNormal();
    dialog->raise();
    dialog->activateWindow();
    return true;
}

ChatDialog* ChatWindows::open(const DBChatRoom& room)
{
    if (raise(room.topic()))
        return window(room.topic());
    auto* dialog = new ChatDialog(m_session, room);
    adopt(dialog);
    present(dialog);
    qDebug().noquote().nospace() << "MainDialog::openChatDialog create new ChatDialog topic:"
                                 << room.topic();
    return dialog;
}

ChatDialog* ChatWindows::openDummy(const DBChatRoom& room, const QList<qint64>& invited)
{
    auto* dialog = new ChatDialog(m_session, room);
    dialog->setInviteUserIds(invited);
    adopt(dialog);
    present(dialog);
    return dialog;
}

ChatDialog* ChatWindows::dummyFor(qint64 userId) const
{
    const QString members = QString::number(userId);
    for (ChatDialog* dialog : windows()) {
        const DBChatRoom& room = dialog->chatRoom();
        if (dialog->isDummy() && room.type() == RoomType1VS1 && room.members() == members)
            return dialog;
    }
    return nullptr;
}

void ChatWindows::present(ChatDialog* dialog)
{
    if (!dialog->hasSavedGeometry())
        dialog->move(nextPosition(dialog->size()));
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void ChatWindows::adopt(ChatDialog* dialog)
{
    m_windows.append(dialog);
    // Several windows closed together (log off, lock) are given back once.
    connect(dialog, &QObject::destroyed, &m_releaseMemory, qOverload<>(&QTimer::start));
    connect(dialog, &ChatDialog::activated, this, &ChatWindows::activated);
    connect(dialog, &ChatDialog::closed, this, [this, dialog] {
        const bool wasActive = dialog->closedWhileActive();
        forget(dialog);
        if (wasActive)
            emit activeWindowClosed();
    });
    connect(dialog, &ChatDialog::roomCreated, this,
            [this](ChatDialog*, const DBChatRoom& room) { emit roomCreated(room); });
    connect(dialog, &ChatDialog::roomInvited, this,
            [this](ChatDialog*, const DBChatRoom& room) { emit roomInvited(room); });
    connect(dialog, &ChatDialog::roomLeft, this, [this](ChatDialog* d, const DBChatRoom& room) {
        d->removeSaveGeometry();
        emit roomLeft(room.topic());
        d->reject();
    });
    connect(dialog, &ChatDialog::sessionFailure, this, &ChatWindows::sessionFailure);
    connect(dialog, &ChatDialog::newRoomRequested, this, &ChatWindows::newRoomRequested);
    connect(dialog, &ChatDialog::openChatRoomRequested, this, &ChatWindows::openChatRoomRequested);
}

void ChatWindows::forget(ChatDialog* dialog)
{
    m_windows.removeAll(dialog);
    dialog->deleteLater();
}

void ChatWindows::close(const QString& topic)
{
    if (ChatDialog* dialog = window(topic)) {
        qDebug().noquote().nospace()
            << "MainDialog::leaveFromMqttManager close chatDialog topic:" << topic;
        dialog->closeAllPopup();
        dialog->reject();
    }
}

void ChatWindows::closeAll()
{
    // reject() ends a window whether it is shown or not; its closed() takes it off the list.
    for (ChatDialog* dialog : windows()) {
        dialog->closeAllPopup();
        dialog->reject();
    }
}

bool ChatWindows::isChatWindowOpen(const QString& topic) const
{
    return window(topic) != nullptr;
}

bool ChatWindows::isChatWindowActive(const QString& topic) const
{
    const ChatDialog* dialog = window(topic);
    return dialog && dialog->isActiveWindow();
}

QPoint ChatWindows::onScreen(const QPoint& candidate, const QSize& size) const
{
    const QRect wanted(candidate, size);
    const QList<QScreen*> screens = QGuiApplication::screens();
    const bool inside = std::any_of(screens.begin(), screens.end(), [&](const QScreen* screen) {
        return screen->availableGeometry().contains(wanted);
    });
    if (inside)
        return candidate;
    const QRect main = m_mainWindow->frameGeometry();
    return QPoint(main.x() - main.width(), main.y());
}

QPoint ChatWindows::initPosition(const QSize& size)
{
    if (m_placed) {
        qWarning().noquote()
            << "MainDialog::initNewChatDialogPosition already initialize lastChatDialogPosition";
        return QPoint(0, 0);
    }
    const QRect main = m_mainWindow->frameGeometry();
    m_lastPosition =
        onScreen(QPoint(main.right() + kPlacementStep, main.top() + kPlacementStep), size);
    m_placed = true;
    qDebug().noquote().nospace() << "MainDialog::initNewChatDialogPosition point:"
                                 << m_lastPosition.x() << "," << m_lastPosition.y();
    return m_lastPosition;
}

QPoint ChatWindows::nextPosition(const QSize& size)
{
    if (!m_placed)
        return initPosition(size);
    m_lastPosition = onScreen(m_lastPosition + QPoint(kPlacementStep, kPlacementStep), size);
    qDebug().noquote().nospace() << "MainDialog::nextNewChatDialogPosition point:"
                                 << m_lastPosition.x() << "," << m_lastPosition.y();
    return m_lastPosition;
}
