#include "widgets/mtchatdateitem.h"
#include "ui_mtchatdateitem.h"

#include "widgets/mtchattext.h"

MtChatDateItem::MtChatDateItem(QWidget* parent) : MtChatBaseItem(parent), ui(new Ui::MtChatDateItem)
{
    ui->setupUi(this);
}

MtChatDateItem::~MtChatDateItem()
{
    delete ui;
}

QString MtChatDateItem::text() const
{
    return ui->label->text();
}

void MtChatDateItem::refreshText()
{
    ui->label->setText(MtChatText::dateText(m_dateTime.date()));
}

void MtChatDateItem::showEvent(QShowEvent* event)
{
    // The language may have changed since the separator was made.
    refreshText();
    MtChatBaseItem::showEvent(event);
}
