#include "account/dialogframe.h"

#include "widgets/mtframeless.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace DialogFrame {

QVBoxLayout* build(QDialog* dialog, const QString& title)
{
    dialog->setWindowTitle(title);
    dialog->setWindowFlags(dialog->windowFlags() | Qt::FramelessWindowHint);
    new MtFrameLess(dialog, false);
    auto* outer = new QVBoxLayout(dialog);
    auto* head = new QHBoxLayout;
    auto* titleLabel = new QLabel(title, dialog);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLabel->setTextFormat(Qt::PlainText);
    head->addWidget(titleLabel, 1);
    auto* exit = new QPushButton(QStringLiteral("\u2715"), dialog);
    exit->setObjectName(QStringLiteral("exitPushButton"));
    exit->setFlat(true);
    exit->setAutoDefault(false);
    exit->setToolTip(QCoreApplication::translate("DialogFrame", "Close"));
    exit->setAccessibleName(exit->toolTip());
    head->addWidget(exit);
    outer->addLayout(head);
    auto* body = new QVBoxLayout;
    outer->addLayout(body);
    return body;
}

} // namespace DialogFrame
