#include "widgets/mtmessagedialog.h"
#include "ui_mtmessagedialog.h"

#include "widgets/mtaccessible.h"
#include "widgets/mtframeless.h"

#include <QJsonValue>

MtMessageDialog::MtMessageDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::MtMessageDialog), m_frameLess(nullptr)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Tool);
    setAttribute(Qt::WA_TranslucentBackground);
    m_frameLess = new MtFrameLess(this, false);
    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    ui->okButton->setDefault(true);
    // The texts shown include the server's messages and names from the directory: never markup.
    ui->messageLabel->setTextFormat(Qt::PlainText);
    MtAccessible::markAlert(this);
}

MtMessageDialog::~MtMessageDialog()
{
    delete ui;
}

void MtMessageDialog::setText(const QString& text)
{
    ui->messageLabel->setText(text);
    // Read out as the alert's name when it shows: the box rarely has a title.
    setAccessibleName(text);
}

QString MtMessageDialog::text() const
{
    return ui->messageLabel->text();
}

void MtMessageDialog::setOkOnly(bool okOnly)
{
    ui->cancelButton->setVisible(!okOnly);
    ui->line->setVisible(!okOnly);
}

int MtMessageDialog::question(QWidget* parent, const QString& text, const QString& title)
{
    MtMessageDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setText(text);
    return dialog.exec();
}

int MtMessageDialog::information(QWidget* parent, const QString& text, const QString& title)
{
    MtMessageDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setText(text);
    dialog.setOkOnly(true);
    return dialog.exec();
}

QString MtMessageDialog::errorText(const QJsonObject& errorObject)
{
    // The server sends the code as a number, some paths as text; both read the same.
    const QJsonValue code = errorObject.value(QStringLiteral("code"));
    const QString codeText =
        code.isDouble() ? QString::number(code.toVariant().toLongLong()) : code.toString();
    return QStringLiteral("ERROR CODE:") + codeText + QLatin1Char('\n') +
           errorObject.value(QStringLiteral("message")).toString();
}

int MtMessageDialog::error(QWidget* parent, const QJsonObject& errorObject)
{
    return information(parent, errorText(errorObject));
}
