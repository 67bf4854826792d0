#pragma once

class MtChatItemState;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QString;

// The controls that picture and file items share: the open/save link line, the progress group
// and, for own items, the transfer button. The items own the widgets; this only switches them.
class MtAttachmentControls
{
public:
    MtAttachmentControls() = default;
    MtAttachmentControls(QLabel* linkLabel, QGroupBox* progressGroup, QLabel* progressLabel,
                         QProgressBar* progressBar, QPushButton* transferButton = nullptr);

    // Until a state is applied neither the progress nor the transfer button shows.
    void hideProgress();
    void apply(const MtChatItemState& view);
    // The link line for the file as it is on disk now.
    void savedFileCheck(const QString& filePath);
    void setProgress(int value);

    QString linkText() const;
    QString progressText() const;
    bool isLinkShown() const;
    bool isProgressShown() const;
    bool isTransferShown() const;
    bool isTransferEnabled() const;

private:
    QLabel* m_linkLabel = nullptr;
    QGroupBox* m_progressGroup = nullptr;
    QLabel* m_progressLabel = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QPushButton* m_transferButton = nullptr;
};
