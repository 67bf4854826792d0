#include "widgets/mtloadingwidget.h"

#include "widgets/mtpicture.h"

#include <QDebug>
#include <QPainter>
#include <QPixmapCache>

namespace {
constexpr int kFrameCount = 18;
}

MtLoadingWidget::MtLoadingWidget(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    m_forceCloseTimer.setSingleShot(true);
    m_forceCloseTimer.setInterval(kForceCloseMsec);
    connect(&m_timer, &QTimer::timeout, this, &MtLoadingWidget::timerTimeout);
    connect(&m_forceCloseTimer, &QTimer::timeout, this, &MtLoadingWidget::forceCloseTimerTimeout);
    init();
}

void MtLoadingWidget::init()
{
    m_imageList.clear();
    for (int i = 1; i <= kFrameCount; ++i)
        m_imageList << QString::asprintf(":/ui/images/loading_big_%02d.png", i);
    m_index = 0;
}

QPixmap MtLoadingWidget::frame(int index) const
{
    const QString path = m_imageList.value(index);
    const qreal ratio = devicePixelRatioF();
    const QString key = path + QLatin1Char('@') + QString::number(ratio);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = mtLoadPicture(path, ratio);
        if (!pixmap.isNull())
            QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

void MtLoadingWidget::showEvent(QShowEvent* event)
{
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    if (m_imageList.isEmpty())
        qWarning().noquote().nospace() << "MtLoadingWidget::showEvent invalid imageList size";
    else
        m_timer.start(1000 / m_imageList.size());
    m_index = 0;
    raise();
    m_forceCloseTimer.start();
    QWidget::showEvent(event);
}

void MtLoadingWidget::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    m_forceCloseTimer.stop();
    QWidget::hideEvent(event);
}

void MtLoadingWidget::timerTimeout()
{
    if (m_imageList.isEmpty())
        return;
    m_index = (m_index + 1) % m_imageList.size();
    if (frame(m_index).isNull())
        qWarning().noquote().nospace()
            << "MtLoadingWidget::timerTimeout null image path:" << m_imageList.at(m_index);
    update();
}

void MtLoadingWidget::forceCloseTimerTimeout()
{
    qDebug().noquote().nospace() << "MtLoadingWidget::forceCloseTimerTimeout";
    hide();
}

void MtLoadingWidget::paintEvent(QPaintEvent*)
{
    if (m_imageList.isEmpty())
        return;
    const QPixmap pixmap = frame(m_index);
    if (pixmap.isNull()) {
        qWarning().noquote().nospace()
            << "MtLoadingWidget::paintEvent null image path:" << m_imageList.value(m_index);
        return;
    }
    QPainter painter(this);
    const QSizeF size = QSizeF(pixmap.size()) / pixmap.devicePixelRatio();
    const QPointF topLeft((width() - size.width()) / 2.0, (height() - size.height()) / 2.0);
    painter.drawPixmap(topLeft, pixmap);
}
