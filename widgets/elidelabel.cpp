#include "widgets/elidelabel.h"

#include <QPainter>
#include <QTextLayout>

ElideLabel::ElideLabel(QWidget* parent) : QFrame(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

ElideLabel::ElideLabel(const QString& text, QWidget* parent) : ElideLabel(parent)
{
    m_text = text;
}

void ElideLabel::setText(QString text)
{
    if (text == m_text)
        return;
    m_text = text;
    setToolTip(QString());
    updateGeometry();
    update();
    emit textChanged(m_text);
}

void ElideLabel::setElideMode(Qt::TextElideMode mode)
{
    m_elideMode = mode;
    update();
}

QStringList ElideLabel::visibleLines(int width, int height) const
{
    QStringList lines;
    if (width <= 0 || m_text.isEmpty())
        return lines;
    const QFontMetrics metrics = fontMetrics();
    const int lineSpacing = metrics.lineSpacing();
    QTextLayout layout(m_text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int y = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const bool lastThatFits = y + 2 * lineSpacing > height;
        if (lastThatFits) {
            // Everything left over goes into the last line, shortened with the ellipsis.
            const QString rest = m_text.mid(line.textStart()).simplified();
            lines << metrics.elidedText(rest, m_elideMode, width);
            break;
        }
        lines << m_text.mid(line.textStart(), line.textLength()).trimmed();
        y += lineSpacing;
    }
    layout.endLayout();
    return lines;
}

void ElideLabel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    const int lineSpacing = fontMetrics().lineSpacing();
    const QStringList lines = visibleLines(area.width(), qMax(area.height(), lineSpacing));
    // A single line sits in the middle of a taller label, like a plain label's text does.
    int y = area.top();
    if (lines.size() == 1)
        y += (area.height() - lineSpacing) / 2;
    for (const QString& line : lines) {
        painter.drawText(QRect(area.left(), y, area.width(), lineSpacing),
                         Qt::AlignLeft | Qt::AlignVCenter, line);
        y += lineSpacing;
    }
}

QSize ElideLabel::sizeHint() const
{
    const QMargins m = contentsMargins();
    return QSize(fontMetrics().horizontalAdvance(m_text) + m.left() + m.right(),
                 fontMetrics().lineSpacing() + m.top() + m.bottom());
}

QSize ElideLabel::minimumSizeHint() const
{
    const QMargins m = contentsMargins();
    return QSize(0, fontMetrics().lineSpacing() + m.top() + m.bottom());
}
