#pragma once

#include "widgets/mtchatbaseitem.h"

namespace Ui {
class MtChatDateItem;
}

// The separator above the first message of a day: a line, the date and its weekday, a line.
class MtChatDateItem : public MtChatBaseItem
{
    Q_OBJECT
public:
    explicit MtChatDateItem(QWidget* parent = nullptr);
    ~MtChatDateItem() override;

    QString text() const;
    // Shows the day of the item's date-time.
    void refreshText();

    int itemType() const override { return ItemType_Date; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::MtChatDateItem* ui;
};
