#pragma once

#include "widgets/mtchatbaseitem.h"

class MtChatBaloonGroupBox;
class MtChatTextBrowser;
class QPushButton;

// What the text bubbles of both sides share: the message as rich text in a bubble that fits it,
// the button offering the whole of a long text, the read count, the time, search highlights,
// copying and the hit test. Each subclass keeps its form and hands the shared widgets over once
// it is set up.
class MtChatTextItem : public MtChatBaseItem
{
    Q_OBJECT
public:
    MtChatTextBrowser* messageBox() const { return m_messageLabel; }
    QString readText() const;
    QString timeText() const;
    // Wraps the text at the message box's present width (a measuring item is refilled without
    // the box changing size, which alone would rewrap it).
    void fitToWidth();

    void setDateTime(const QDateTime& dateTime) override;
    void setReadCount(int count) override;
    void setHighlight(const QString& text) override;
    void removeHighlight() override;
    bool containsGlobalPos(const QPoint& globalPos) const override;
    void copyText() override;

protected:
    explicit MtChatTextItem(QWidget* parent);
    void setParts(bool own, MtChatBaloonGroupBox* box, MtChatTextBrowser* messageLabel,
                  QPushButton* viewAllButton, QLabel* readLabel, QLabel* timeLabel);
    // content_type 4 marks a long text sent as a file: the bubble shows its preview and offers
    // the whole text.
    void setMessage(const QString& messageId, const QString& name, int senderId,
                    const QDateTime& dateTime, const QString& content, int contentType, int state);

private slots:
    void on_viewAllButton_clicked();

private:
    // Limits the bubble to its text, and fixes its height to what the text needs at the current
    // width.
    void limitMessageBox();
    void fitMessageBox();

    bool m_own = false;
    MtChatBaloonGroupBox* m_box = nullptr;
    MtChatTextBrowser* m_messageLabel = nullptr;
    QPushButton* m_viewAllButton = nullptr;
    QLabel* m_readLabel = nullptr;
    QLabel* m_timeLabel = nullptr;
};
