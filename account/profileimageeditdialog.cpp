#include "account/profileimageeditdialog.h"

#include "account/profileimageview.h"

#include <QDebug>
#include <QDialogButtonBox>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ProfileImageEditDialog::ProfileImageEditDialog(const QString& filePath, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ProfileImageEditDialog"));
    setWindowTitle(tr("Edit Profile Image"));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(tr("Edit Profile Image"), this);
    title->setObjectName(QStringLiteral("titleLabel"));
    layout->addWidget(title);
    m_view = new ProfileImageView(this);
    m_view->setFixedSize(kViewSide, kViewSide);
    layout->addWidget(m_view, 0, Qt::AlignCenter);
    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    auto* cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // Turned upright the way cameras mark it, so the square is cut from what the user sees.
    QImageReader reader(filePath);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    m_loaded = !image.isNull() && m_view->setPicture(QPixmap::fromImage(image));
    if (!m_loaded)
        qWarning().noquote().nospace()
            << "ProfileImageEditDialog - cannot load filePath:" << filePath
            << " error:" << reader.errorString();
    ok->setEnabled(m_loaded);
}

QPixmap ProfileImageEditDialog::selectedPicture() const
{
    return m_view->selectedPicture();
}
