#include "widgets/mtimageviewer.h"
#include "ui_mtimageviewer.h"

#include "widgets/mtaccessible.h"
#include "widgets/mtframeless.h"
#include "widgets/mtimagelistwidgetitem.h"
#include "widgets/mtpicture.h"

#include <QDebug>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

MtImageViewer::MtImageViewer(QWidget* parent)
    : QDialog(parent), ui(new Ui::MtImageViewer), m_frameLess(nullptr), m_imagePreButton(nullptr),
      m_imageNextButton(nullptr)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window);
    m_frameLess = new MtFrameLess(this, true);
    ui->failedlabel->hide();
    ui->imageLabel->setScaledContents(true);
    ui->imageLabel->installEventFilter(this);
    ui->scrollArea->viewport()->installEventFilter(this);

    m_imagePreButton = new QPushButton(ui->scrollArea);
    m_imagePreButton->setObjectName(QStringLiteral("imagePreButton"));
    m_imagePreButton->setIcon(QIcon(QStringLiteral(":/ui/images/viewer_previous.png")));
    m_imageNextButton = new QPushButton(ui->scrollArea);
    m_imageNextButton->setObjectName(QStringLiteral("imageNextButton"));
    m_imageNextButton->setIcon(QIcon(QStringLiteral(":/ui/images/viewer_next.png")));
    for (QPushButton* button : {m_imagePreButton, m_imageNextButton}) {
        button->setFixedSize(40, 40);
        button->setIconSize(QSize(40, 40));
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setFocusPolicy(Qt::NoFocus);
        button->setStyleSheet(
            QStringLiteral("QPushButton { border: none; background: transparent; }"));
    }
    m_imagePreButton->setToolTip(tr("Previous picture"));
    m_imageNextButton->setToolTip(tr("Next picture"));
    connect(m_imagePreButton, &QPushButton::clicked, this, &MtImageViewer::onImagePreButtonClicked);
    connect(m_imageNextButton, &QPushButton::clicked, this,
            &MtImageViewer::onImageNextButtonClicked);
    MtAccessible::nameButtonsByToolTip(this);
    ui->thumbListWidget->setAccessibleName(tr("Pictures of the room"));
    buttonEnableChecked();
    on_thumbListWidget_itemSelectionChanged();
}

MtImageViewer::~MtImageViewer()
{
    delete ui;
}

int MtImageViewer::count() const
{
    return ui->thumbListWidget->count();
}

MtImageListWidgetItem* MtImageViewer::entry(int row) const
{
    QListWidgetItem* item = ui->thumbListWidget->item(row);
    return item && item->type() == MtImageListWidgetItem::kType
               ? static_cast<MtImageListWidgetItem*>(item)
               : nullptr;
}

MtImageListWidgetItem* MtImageViewer::findEntry(const QString& messageId) const
{
    for (int row = 0; row < count(); ++row) {
        MtImageListWidgetItem* e = entry(row);
        if (e && e->messageId() == messageId)
            return e;
    }
    return nullptr;
}

bool MtImageViewer::addImage(const QString& messageId, const QString& senderName,
                             const QDateTime& time, const QPixmap& picture,
                             const QString& imagePath)
{
    QListWidget* strip = ui->thumbListWidget;
    const QPixmap thumbnail = mtCoverPicture(picture, strip->iconSize(), devicePixelRatioF());
    if (MtImageListWidgetItem* existing = findEntry(messageId)) {
        existing->setThumbnail(thumbnail);
        existing->setTime(time);
        existing->setImagePath(imagePath);
        strip->viewport()->update(strip->visualItemRect(existing));
        return false;
    }
    auto* item = new MtImageListWidgetItem(messageId, senderName, time, thumbnail, imagePath);
    item->setSizeHint(strip->gridSize());
    item->setToolTip(senderName + QLatin1Char(' ') +
                     QLocale().toString(time, QLocale::ShortFormat));
    // A thumbnail has no text of its own: a screen reader reads who sent it and when.
    item->setData(Qt::AccessibleTextRole, item->toolTip());
    int row = strip->count();
    const MtImageListWidgetItem* last = entry(strip->count() - 1);
    if (last && time < last->time()) {
        for (int i = 0; i < strip->count(); ++i) {
            if (entry(i)->time() > time) {
                row = i;
                break;
            }
        }
    }
    strip->insertItem(row, item);
    on_thumbListWidget_itemSelectionChanged();
    return true;
}

QString MtImageViewer::numberText() const
{
    return ui->numberLabel->text();
}

bool MtImageViewer::isShowingFailure() const
{
    return !ui->failedlabel->isHidden() && ui->imageLabel->isHidden();
}

void MtImageViewer::thumbItemSelected(const QString& messageId)
{
    thumbItemSelected(findEntry(messageId));
}

void MtImageViewer::thumbItemSelected(QListWidgetItem* imageItem)
{
    if (imageItem && imageItem->type() == MtImageListWidgetItem::kType)
        thumbItemSelected(static_cast<MtImageListWidgetItem*>(imageItem));
}

void MtImageViewer::thumbItemSelected(MtImageListWidgetItem* imageItem)
{
    if (!imageItem)
        return;
    ui->thumbListWidget->setCurrentItem(imageItem);
    ui->thumbListWidget->scrollToItem(imageItem);
    showEntry(imageItem);
}

void MtImageViewer::showEntry(MtImageListWidgetItem* e)
{
    m_currentMessageId = e->messageId();
    const QString time = QLocale().toString(e->time(), QStringLiteral("yyyy-MM-dd hh:mm"));
    ui->titleLabel->setText(e->senderName() + QStringLiteral("  ") + time);
    ui->imageLabel->setAccessibleName(
        tr("Picture from %1, %2", "the picture in the viewer: its sender, its time")
            .arg(e->senderName(), time));
    if (e->imagePath().isEmpty()) {
        m_picture = QPixmap();
        ui->imageLabel->clear();
        buttonEnableChecked();
        emit requestImagePath(e->messageId());
        return;
    }
    showPicture(e->imagePath());
}

void MtImageViewer::updateImagePath(const QString& messageId, const QString& imagePath)
{
    MtImageListWidgetItem* e = findEntry(messageId);
    if (!e)
        return;
    e->setImagePath(imagePath);
    if (messageId == m_currentMessageId)
        showPicture(imagePath);
}

void MtImageViewer::showPicture(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        qWarning().noquote().nospace() << "MtImageViewer::showPicture failed path:" << path
                                       << " error:" << reader.errorString();
        failedLoadImage();
        return;
    }
    m_picture = QPixmap::fromImage(image);
    ui->failedlabel->hide();
    ui->imageLabel->setPixmap(m_picture);
    ui->imageLabel->show();
    m_zoom.setPictureSize(m_picture.size());
    m_zoom.setViewSize(viewSize());
    m_zoom.initial();
    applyZoom();
}

void MtImageViewer::failedLoadImage()
{
    m_picture = QPixmap();
    m_zoom.setPictureSize(QSize());
    ui->imageLabel->hide();
    ui->failedlabel->show();
    buttonEnableChecked();
}

QSize MtImageViewer::viewSize() const
{
    return ui->scrollArea->maximumViewportSize();
}

void MtImageViewer::applyZoom()
{
    ui->imageLabel->setFixedSize(m_zoom.scaledSize());
    buttonEnableChecked();
}

void MtImageViewer::on_zoomOutButton_clicked()
{
    if (m_picture.isNull())
        return;
    m_zoom.setViewSize(viewSize());
    m_zoom.zoomOut();
    applyZoom();
}

void MtImageViewer::on_zoomInButton_clicked()
{
    if (m_picture.isNull())
        return;
    m_zoom.setViewSize(viewSize());
    m_zoom.zoomIn();
    applyZoom();
}

void MtImageViewer::fitScreen()
{
    if (m_picture.isNull())
        return;
    m_zoom.setViewSize(viewSize());
    m_zoom.fit();
    applyZoom();
}

void MtImageViewer::buttonEnableChecked()
{
    const bool shown = !m_picture.isNull();
    m_zoom.setViewSize(viewSize());
    ui->zoomOutButton->setEnabled(shown && m_zoom.canZoomOut());
    ui->zoomInButton->setEnabled(shown && m_zoom.canZoomIn());
    ui->saveButton->setEnabled(!m_currentMessageId.isEmpty());
}

void MtImageViewer::on_saveButton_clicked()
{
    emit requestImageSave(m_currentMessageId, this);
}

void MtImageViewer::on_thumbNextButton_clicked()
{
    QScrollBar* bar = ui->thumbListWidget->horizontalScrollBar();
    bar->setValue(bar->value() + ui->thumbListWidget->viewport()->width());
}

void MtImageViewer::on_thumbPreButton_clicked()
{
    QScrollBar* bar = ui->thumbListWidget->horizontalScrollBar();
    bar->setValue(bar->value() - ui->thumbListWidget->viewport()->width());
}

void MtImageViewer::selectRow(int row)
{
    if (row >= 0 && row < count())
        thumbItemSelected(entry(row));
}

void MtImageViewer::onImagePreButtonClicked()
{
    selectRow(ui->thumbListWidget->currentRow() - 1);
}

void MtImageViewer::onImageNextButtonClicked()
{
    selectRow(ui->thumbListWidget->currentRow() + 1);
}

void MtImageViewer::on_numPreButton_clicked()
{
    onImagePreButtonClicked();
}

void MtImageViewer::on_numNextButton_clicked()
{
    onImageNextButtonClicked();
}

void MtImageViewer::on_thumbListWidget_itemClicked(QListWidgetItem* item)
{
    thumbItemSelected(item);
}

void MtImageViewer::on_thumbListWidget_itemSelectionChanged()
{
    const int total = count();
    const int row = ui->thumbListWidget->currentRow();
    const int position = row >= 0 ? row + 1 : 0;
    ui->numberLabel->setText(
        QStringLiteral("%1 / %2").arg(position, int(QString::number(total).size())).arg(total));
    const bool hasPrevious = row > 0;
    const bool hasNext = row >= 0 && row + 1 < total;
    ui->numPreButton->setEnabled(hasPrevious);
    ui->numNextButton->setEnabled(hasNext);
    m_imagePreButton->setVisible(hasPrevious);
    m_imageNextButton->setVisible(hasNext);
}

void MtImageViewer::moveImageButton()
{
    const QRect area = ui->scrollArea->rect();
    const int y = area.center().y() - m_imagePreButton->height() / 2;
    m_imagePreButton->move(area.left() + 8, y);
    m_imageNextButton->move(area.right() - 8 - m_imageNextButton->width() + 1, y);
    m_imagePreButton->raise();
    m_imageNextButton->raise();
}

void MtImageViewer::on_maximumButton_clicked()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void MtImageViewer::on_minimumButton_clicked()
{
    // Kept for the form; the viewer has no minimized state of its own.
}

void MtImageViewer::on_closeButton_clicked()
{
    close();
}

bool MtImageViewer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->scrollArea->viewport() && event->type() == QEvent::Wheel) {
        const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
        if (delta > 0 && ui->zoomInButton->isEnabled())
            on_zoomInButton_clicked();
        else if (delta < 0 && ui->zoomOutButton->isEnabled())
            on_zoomOutButton_clicked();
        return true;
    }
    if (watched == ui->imageLabel) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                m_panning = true;
                m_panPos = mouse->globalPos();
                ui->imageLabel->setCursor(Qt::ClosedHandCursor);
                return true;
            }
            break;
        }
        case QEvent::MouseMove:
            if (m_panning) {
                auto* mouse = static_cast<QMouseEvent*>(event);
                const QPoint travel = mouse->globalPos() - m_panPos;
                m_panPos = mouse->globalPos();
                QScrollBar* h = ui->scrollArea->horizontalScrollBar();
                QScrollBar* v = ui->scrollArea->verticalScrollBar();
                h->setValue(h->value() - travel.x());
                v->setValue(v->value() - travel.y());
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (m_panning) {
                m_panning = false;
                ui->imageLabel->unsetCursor();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MtImageViewer::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (event->key() == Qt::Key_Left) {
        onImagePreButtonClicked();
        return;
    }
    if (event->key() == Qt::Key_Right) {
        onImageNextButtonClicked();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MtImageViewer::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    moveImageButton();
    buttonEnableChecked();
}

void MtImageViewer::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    moveImageButton();
}
