#include "widgets/mtchatalarmitem.h"
#include "ui_mtchatalarmitem.h"

MtChatAlarmItem::MtChatAlarmItem(QWidget* parent)
    : MtChatBaseItem(parent), ui(new Ui::MtChatAlarmItem)
{
    ui->setupUi(this);
}

MtChatAlarmItem::~MtChatAlarmItem()
{
    delete ui;
}

void MtChatAlarmItem::setAlarm(const QString& messageId, const QDateTime& dateTime,
                               const QString& text)
{
    m_messageId = messageId;
    m_content = text;
    setDateTime(dateTime);
    ui->alarmLabel->setText(text);
    m_lastHeight = -1;
    fitLabel();
}

QString MtChatAlarmItem::text() const
{
    return ui->alarmLabel->text();
}

int MtChatAlarmItem::labelWidth() const
{
    // One line when the row is wide enough, wrapped at the row's width otherwise.
    ui->alarmLabel->ensurePolished();
    const QMargins m = layout()->contentsMargins();
    const int available = (width() > 0 ? width() : 300) - m.left() - m.right();
    const QMargins padding = ui->alarmLabel->contentsMargins();
    const int oneLine = ui->alarmLabel->fontMetrics().horizontalAdvance(ui->alarmLabel->text()) +
                        padding.left() + padding.right() + 2 * ui->alarmLabel->margin() + 26;
    return qMax(1, qMin(oneLine, available));
}

QSize MtChatAlarmItem::sizeHint() const
{
    const QMargins m = layout()->contentsMargins();
    const int height = ui->alarmLabel->heightForWidth(labelWidth());
    return QSize(width() > 0 ? width() : 300,
                 (height > 0 ? height : ui->alarmLabel->sizeHint().height()) + m.top() +
                     m.bottom());
}

void MtChatAlarmItem::fitLabel()
{
    ui->alarmLabel->setFixedWidth(labelWidth());
    const int height = sizeHint().height();
    if (height != m_lastHeight) {
        m_lastHeight = height;
        updateListItemSize();
    }
}

void MtChatAlarmItem::resizeEvent(QResizeEvent* event)
{
    MtChatBaseItem::resizeEvent(event);
    fitLabel();
}
