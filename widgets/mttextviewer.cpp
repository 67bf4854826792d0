#include "widgets/mttextviewer.h"
#include "ui_mttextviewer.h"

#include "widgets/mtaccessible.h"
#include "widgets/mtframeless.h"

MtTextViewer::MtTextViewer(QWidget* parent)
    : QDialog(parent), ui(new Ui::MtTextViewer), m_frameLess(nullptr)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window);
    m_frameLess = new MtFrameLess(this, true);
    MtAccessible::nameButtonsByToolTip(this);
    ui->textEdit->setAccessibleName(tr("Message"));
}

MtTextViewer::~MtTextViewer()
{
    delete ui;
}

void MtTextViewer::setText(const QString& title, const QString& text, const QString& messageId)
{
    m_messageId = messageId;
    ui->titleLabel->setText(title);
    setWindowTitle(title);
    ui->textEdit->setPlainText(text);
}

QString MtTextViewer::text() const
{
    return ui->textEdit->toPlainText();
}

void MtTextViewer::on_saveButton_clicked()
{
    emit requestTextSave(m_messageId);
}

void MtTextViewer::on_closeButton_clicked()
{
    close();
}
