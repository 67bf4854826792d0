#pragma once

#include <QGroupBox>

#include "widgets/mtninepatch.h"

// The bubble behind a message: the left picture for other members' messages, the right one for
// the user's own, stretched as a nine-patch so its corners and tail keep their shape. Its
// layout's margins come from the picture's content area.
class MtChatBaloonGroupBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit MtChatBaloonGroupBox(QWidget* parent = nullptr);

    // true: the user's own message (right bubble).
    void setOwn(bool own);
    bool isOwn() const { return m_own; }
    QString pictureName() const;
    QMargins contentMargins() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const MtNinePatch& patch() const;

    bool m_own = false;
    mutable MtNinePatch m_patch;
};
