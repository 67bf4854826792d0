#pragma once

#include <QFrame>

class DBUser;
class QLabel;
class QToolButton;

// The small card of a member shown beside the chat window when the member's picture is
// clicked: picture, name and account, a button to chat with the member and a close button.
class ProfileViewPopup : public QFrame
{
    Q_OBJECT
public:
    ProfileViewPopup(const DBUser& user, const QPixmap& picture, QWidget* parent = nullptr);

    qint64 userId() const { return m_userId; }
    // Places the card beside `parent` (on its right, or on its left when the screen ends).
    void moveFromParent(QWidget* parent);

signals:
    void chatClicked(int userId);
    void chatProfileImageClicked(int userId);

private:
    qint64 m_userId;
    QToolButton* m_pictureButton;
    QLabel* m_nameLabel;
    QLabel* m_accountLabel;
    QToolButton* m_chatButton;
};
