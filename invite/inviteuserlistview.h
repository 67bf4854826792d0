#pragma once

#include <QListView>

// The list of the invitation dialog; rows are all of one size, so a list of 50,000 people lays
// out at once. `movedToBottom` tells when the end of the list is reached.
class InviteUserListView : public QListView
{
    Q_OBJECT
public:
    explicit InviteUserListView(QWidget* parent = nullptr);

signals:
    void movedToBottom();

private:
    void onValueChanged(int value);
    void onSliderReleased();
};
