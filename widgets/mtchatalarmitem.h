#pragma once

#include "widgets/mtchatbaseitem.h"

namespace Ui {
class MtChatAlarmItem;
}

// A notice in the conversation (someone was invited or left, the read marker): a grey label in
// the middle of the row, wrapped when it is long.
class MtChatAlarmItem : public MtChatBaseItem
{
    Q_OBJECT
public:
    explicit MtChatAlarmItem(QWidget* parent = nullptr);
    ~MtChatAlarmItem() override;

    void setAlarm(const QString& messageId, const QDateTime& dateTime, const QString& text);
    QString text() const;

    int itemType() const override { return ItemType_Alarm; }
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int labelWidth() const;
    void fitLabel();

    Ui::MtChatAlarmItem* ui;
    int m_lastHeight = -1;
};
