#include "main/maindialog.h"
#include "ui_maindialog.h"

#include "store/mtdata.h"
#include "widgets/mtframeless.h"

#include <QDebug>
#include <QIcon>
#include <QTimer>

namespace {
MainDialog* g_mainDialog = nullptr;
} // namespace

MainDialog::MainDialog(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Window), ui(new Ui::MainDialog)
{
    setObjectName(QStringLiteral("MainDialog"));
    g_mainDialog = this;
    // Without a system frame the window is moved by its body and resized by its edges.
    new MtFrameLess(this, true);
    ui->setupUi(this);
    ui->searchLineEdit->setPlaceholderText(tr("Search Chatt Room"));
    QTimer::singleShot(1, this, &MainDialog::initUi);
}

MainDialog::~MainDialog()
{
    if (g_mainDialog == this)
        g_mainDialog = nullptr;
    delete ui;
}

MainDialog* MainDialog::instance()
{
    return g_mainDialog;
}

void MainDialog::initUi()
{
    qDebug().noquote().nospace() << "MainDialog::initUi";
    setWindowTitle(tr("PLOVEX(Chat)"));
    ui->titleLabel->setText(tr("PLOVEX(Chat)"));
    setWindowIcon(QIcon(QStringLiteral(":/veltritalk.ico")));
    ui->msgLabel->setText(QString::fromLatin1(MTData::kVersion));
    ui->stackedWidget->setCurrentIndex(0);
    ui->idLineEdit->setFocus();
    ui->autoLoginCheckBox->setChecked(true);
}

void MainDialog::messageReceivedFromApplication(const QString& msg)
{
    qDebug().noquote().nospace() << "MainDialog::messageReceivedFromApplication msg:" << msg;
    if (msg != QLatin1String("show"))
        return;
    qDebug().noquote().nospace() << "MainDialog::messageReceivedFromApplication restore window";
    showNormal();
    raise();
    activateWindow();
}

void MainDialog::on_minimizeButton_clicked()
{
    showMinimized();
}

void MainDialog::on_maximumButton_clicked()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void MainDialog::on_closeButton_clicked()
{
    // The program lives in the tray; closing the window only hides it.
    hide();
}
