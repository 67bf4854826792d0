#pragma once

#include <QFrame>

// A label that wraps its text over as many lines as fit and ends the last visible line with an
// ellipsis, for names and message previews in fixed-size rows.
class ElideLabel : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(Qt::TextElideMode elideMode READ elideMode WRITE setElideMode)
public:
    explicit ElideLabel(QWidget* parent = nullptr);
    explicit ElideLabel(const QString& text, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    Qt::TextElideMode elideMode() const { return m_elideMode; }
    void setElideMode(Qt::TextElideMode mode);

    // The lines drawn at `width`: all that fit in `height`, the last one elided.
    QStringList visibleLines(int width, int height) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void textChanged(QString text);

public slots:
    void setText(QString text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    Qt::TextElideMode m_elideMode = Qt::ElideRight;
};
