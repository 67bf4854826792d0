#pragma once

#include <QDateTime>
#include <QDialog>
#include <QPixmap>

#include "widgets/mtimagezoom.h"

namespace Ui {
class MtImageViewer;
}
class MtFrameLess;
class MtImageListWidgetItem;
class QListWidgetItem;
class QPushButton;

// The picture viewer of a chat window: the pictures of the conversation in a thumbnail strip in
// time order, the selected one large with zoom, fit and panning, and a button to save it. Full
// pictures are asked for from the chat window when their path is not known yet.
class MtImageViewer : public QDialog
{
    Q_OBJECT
public:
    explicit MtImageViewer(QWidget* parent = nullptr);
    ~MtImageViewer() override;

    // Adds (true) or refreshes (false) the picture of a message.
    bool addImage(const QString& messageId, const QString& senderName, const QDateTime& time,
                  const QPixmap& picture, const QString& imagePath);
    int count() const;
    MtImageListWidgetItem* entry(int row) const;
    MtImageListWidgetItem* findEntry(const QString& messageId) const;
    QString currentMessageId() const { return m_currentMessageId; }
    double zoomFactor() const { return m_zoom.factor(); }
    QString numberText() const;
    bool isShowingFailure() const;

signals:
    void requestImageSave(QString messageId, QWidget* widget);
    void requestImagePath(QString messageId);

public slots:
    void thumbItemSelected(const QString& messageId);
    void thumbItemSelected(QListWidgetItem* imageItem);
    void thumbItemSelected(MtImageListWidgetItem* imageItem);
    void updateImagePath(const QString& messageId, const QString& imagePath);
    void failedLoadImage();

private slots:
    void on_zoomOutButton_clicked();
    void on_zoomInButton_clicked();
    void on_saveButton_clicked();
    void buttonEnableChecked();
    void on_thumbNextButton_clicked();
    void on_thumbPreButton_clicked();
    void onImagePreButtonClicked();
    void onImageNextButtonClicked();
    void on_thumbListWidget_itemClicked(QListWidgetItem* item);
    void moveImageButton();
    void on_thumbListWidget_itemSelectionChanged();
    void on_numPreButton_clicked();
    void on_numNextButton_clicked();
    void on_maximumButton_clicked();
    void on_minimumButton_clicked();
    void fitScreen();
    void on_closeButton_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showEntry(MtImageListWidgetItem* entry);
    void showPicture(const QString& path);
    void applyZoom();
    void selectRow(int row);
    QSize viewSize() const;

    Ui::MtImageViewer* ui;
    MtFrameLess* m_frameLess;
    QPushButton* m_imagePreButton;
    QPushButton* m_imageNextButton;
    QString m_currentMessageId;
    QPixmap m_picture;
    MtImageZoom m_zoom;
    bool m_panning = false;
    QPoint m_panPos;
};
