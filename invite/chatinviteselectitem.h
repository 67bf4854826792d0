#pragma once

#include "store/dbuser.h"

#include <QWidget>

class QLabel;
class QToolButton;

// A chosen person as a chip: the name and a remove button. A fixed member's chip is disabled.
class ChatInviteSelectItem : public QWidget
{
    Q_OBJECT
public:
    explicit ChatInviteSelectItem(const DBUser& user, QWidget* parent = nullptr);

    const DBUser& user() const { return m_user; }
    QString text() const;
    QToolButton* removeButton() const { return m_removeBtn; }

signals:
    void removeItem(DBUser user);

private:
    DBUser m_user;
    QLabel* m_selectUserNamelabel;
    QToolButton* m_removeBtn;
};
