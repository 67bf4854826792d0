#include "widgets/mtattachmentcontrols.h"

#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

MtAttachmentControls::MtAttachmentControls(QLabel* linkLabel, QGroupBox* progressGroup,
                                           QLabel* progressLabel, QProgressBar* progressBar,
                                           QPushButton* transferButton)
    : m_linkLabel(linkLabel), m_progressGroup(progressGroup), m_progressLabel(progressLabel),
      m_progressBar(progressBar), m_transferButton(transferButton)
{}

void MtAttachmentControls::hideProgress()
{
    if (m_transferButton)
        m_transferButton->hide();
    m_progressGroup->hide();
}

void MtAttachmentControls::apply(const MtChatItemState& view)
{
    if (m_transferButton) {
        m_transferButton->setVisible(view.transferVisible);
        m_transferButton->setEnabled(view.transferEnabled);
        if (view.transferVisible)
            m_transferButton->setIcon(QIcon(view.transferPicture));
    }
    m_progressGroup->setVisible(view.progressVisible);
    m_progressLabel->setText(view.progressText);
    m_linkLabel->setVisible(view.linkVisible);
}

void MtAttachmentControls::savedFileCheck(const QString& filePath)
{
    const bool exists = !filePath.isEmpty() && QFileInfo(filePath).isFile();
    m_linkLabel->setText(MtChatText::linkLine(exists));
}

void MtAttachmentControls::setProgress(int value)
{
    m_progressBar->setValue(qBound(0, value, 100));
}

QString MtAttachmentControls::linkText() const
{
    return m_linkLabel->text();
}

QString MtAttachmentControls::progressText() const
{
    return m_progressLabel->text();
}

bool MtAttachmentControls::isLinkShown() const
{
    return !m_linkLabel->isHidden();
}

bool MtAttachmentControls::isProgressShown() const
{
    return !m_progressGroup->isHidden();
}

bool MtAttachmentControls::isTransferShown() const
{
    return m_transferButton && !m_transferButton->isHidden();
}

bool MtAttachmentControls::isTransferEnabled() const
{
    return m_transferButton && m_transferButton->isEnabled();
}
