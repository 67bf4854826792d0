#pragma once

#include <QDialog>

namespace Ui {
class MtTextViewer;
}
class MtFrameLess;

// Shows the whole of a long text that was sent as a file, with a button to save it.
class MtTextViewer : public QDialog
{
    Q_OBJECT
public:
    explicit MtTextViewer(QWidget* parent = nullptr);
    ~MtTextViewer() override;

    void setText(const QString& title, const QString& text, const QString& messageId);
    QString messageId() const { return m_messageId; }
    QString text() const;

signals:
    void requestTextSave(QString messageId);

private slots:
    void on_saveButton_clicked();
    void on_closeButton_clicked();

private:
    Ui::MtTextViewer* ui;
    MtFrameLess* m_frameLess;
    QString m_messageId;
};
