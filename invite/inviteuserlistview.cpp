#include "invite/inviteuserlistview.h"

#include <QScrollBar>

InviteUserListView::InviteUserListView(QWidget* parent) : QListView(parent)
{
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(true);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            &InviteUserListView::onValueChanged);
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this,
            &InviteUserListView::onSliderReleased);
}

void InviteUserListView::onValueChanged(int value)
{
    const QScrollBar* bar = verticalScrollBar();
    if (value == bar->maximum() && !bar->isSliderDown())
        emit movedToBottom();
}

void InviteUserListView::onSliderReleased()
{
    const QScrollBar* bar = verticalScrollBar();
    if (bar->value() == bar->maximum())
        emit movedToBottom();
}
