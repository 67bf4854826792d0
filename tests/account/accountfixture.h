#pragma once

#include "common/devserver.h"
#include "common/loggedin.h"
#include "common/typed.h"
#include "common/wait.h"
#include "net/netservermanager.h"
#include "session/mtsession.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"
#include "widgets/mtmessagedialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// Works through the modal windows that come up, one step each, keeping every message box's text.
class ModalScript : public QObject
{
public:
    // "Class:button" each, e.g. "MtMessageDialog:okButton".
    explicit ModalScript(const QStringList& steps) : m_steps(steps)
    {
        connect(&m_poll, &QTimer::timeout, this, [this] { step(); });
        m_poll.start(10);
    }
    QStringList boxTexts() const { return m_texts; }
    bool finished() const { return m_steps.isEmpty(); }

private:
    void step()
    {
        if (m_steps.isEmpty())
            return;
        const QString className = m_steps.first().section(QLatin1Char(':'), 0, 0);
        const QString button = m_steps.first().section(QLatin1Char(':'), 1);
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() ||
            QString::fromLatin1(modal->metaObject()->className()) != className)
            return;
        auto* target = modal->findChild<QPushButton*>(button);
        if (!target || !target->isEnabled())
            return;
        m_steps.removeFirst();
        // A text the box would render as markup is marked, so that no test takes it as shown.
        if (auto* box = qobject_cast<MtMessageDialog*>(modal))
            m_texts << (box->findChild<QLabel*>(QStringLiteral("messageLabel"))->textFormat() ==
                                Qt::PlainText
                            ? box->text()
                            : QStringLiteral("rich:") + box->text());
        // Clicked from the event loop: a click opening a modal window would otherwise block
        // this timer's slot, and a timer is not run again while its slot runs.
        QMetaObject::invokeMethod(target, &QPushButton::click, Qt::QueuedConnection);
    }
    QTimer m_poll;
    QStringList m_steps;
    QStringList m_texts;
};

// The directory row of a user in a session's store.
inline DBUser dbUser(const LoggedIn& user, qint64 userId)
{
    DBUser found;
    user.db()->findUser(userId, found);
    return found;
}
