#include "widgets/mtsearchlineedit.h"

#include "widgets/mtpicture.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QToolButton>

MtSearchLineEdit::MtSearchLineEdit(QWidget* parent)
    : QWidget(parent), m_searchButton(new QToolButton(this)), m_lineEdit(new QLineEdit(this)),
      m_cancelButton(new QToolButton(this))
{
    setAttribute(Qt::WA_StyledBackground);
    m_searchButton->setObjectName(QStringLiteral("MtSearchLineEdit::SearchButton"));
    m_lineEdit->setObjectName(QStringLiteral("MtSearchLineEdit::LineEdit"));
    m_cancelButton->setObjectName(QStringLiteral("MtSearchLineEdit::CancelButton"));

    for (QToolButton* button : {m_searchButton, m_cancelButton}) {
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIconSize(QSize(16, 16));
        button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent;"
                                             " padding: 0px; }"));
    }
    m_searchButton->setIcon(QIcon(QStringLiteral(":/ui/images/search.png")));
    m_cancelButton->setIcon(QIcon(QStringLiteral(":/ui/images/search_cancel.png")));
    m_cancelButton->setCursor(Qt::PointingHandCursor);
    m_cancelButton->setToolTip(tr("Clear"));
    // Picture-only buttons: a screen reader says these names.
    m_searchButton->setAccessibleName(tr("Search"));
    m_cancelButton->setAccessibleName(tr("Clear"));
    m_lineEdit->setAccessibleName(tr("Search"));
    m_cancelButton->hide();
    m_lineEdit->setFrame(false);
    m_lineEdit->setStyleSheet(
        QStringLiteral("QLineEdit { border: none; background: transparent; }"));
    m_lineEdit->installEventFilter(this);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(4);
    layout->addWidget(m_searchButton);
    layout->addWidget(m_lineEdit, 1);
    layout->addWidget(m_cancelButton);

    connect(m_lineEdit, &QLineEdit::textChanged, this, &MtSearchLineEdit::textChangedFromLineEdit);
    connect(m_lineEdit, &QLineEdit::returnPressed, this,
            &MtSearchLineEdit::returnPressedFromLineEdit);
    connect(m_cancelButton, &QToolButton::clicked, this, &MtSearchLineEdit::cancelButtonClicked);
    connect(m_searchButton, &QToolButton::clicked, m_lineEdit,
            [this] { m_lineEdit->setFocus(Qt::OtherFocusReason); });
}

QString MtSearchLineEdit::text() const
{
    return m_lineEdit->text();
}

void MtSearchLineEdit::setText(const QString& text)
{
    m_lineEdit->setText(text);
}

void MtSearchLineEdit::setPlaceholderText(const QString& text)
{
    m_lineEdit->setPlaceholderText(text);
    // The hint is all the field shows of its purpose; a screen reader says it as the name.
    m_lineEdit->setAccessibleName(text);
}

QString MtSearchLineEdit::withPreedit(const QString& commit, const QString& preedit) const
{
    QString text = m_lineEdit->text();
    int cursor = m_lineEdit->cursorPosition();
    if (m_lineEdit->hasSelectedText()) {
        cursor = m_lineEdit->selectionStart();
        text.remove(cursor, m_lineEdit->selectedText().size());
    }
    text.insert(cursor, commit);
    text.insert(cursor + commit.size(), preedit);
    return text;
}

bool MtSearchLineEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lineEdit && event->type() == QEvent::InputMethod) {
        auto* ime = static_cast<QInputMethodEvent*>(event);
        qDebug().noquote().nospace()
            << "MtSearchLineEdit::eventFilter"
            << " cha:"
            << (ime->preeditString().isEmpty() ? QString() : ime->preeditString().right(1))
            << " preeditString:" << ime->preeditString() << " commitString:" << ime->commitString();
        // The line edit only reports committed text; the pending syllable is searched for now,
        // before the line edit applies the event. A composition that ends without a commit (its
        // last letter erased) changes no committed text, so the search steps back here too.
        if (!ime->preeditString().isEmpty() || !m_preedit.isEmpty()) {
            m_preedit = ime->preeditString();
            inputSearchLineEdit(withPreedit(ime->commitString(), m_preedit));
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MtSearchLineEdit::textChangedFromLineEdit(const QString& text)
{
    m_cancelButton->setVisible(!text.isEmpty());
    emit inputSearchText(text);
    // While a composition is pending the text of the line edit lacks it; searching keeps
    // following the composed text instead of stepping back to the committed part.
    if (!m_preedit.isEmpty()) {
        QString composed = text;
        composed.insert(qBound(0, m_lineEdit->cursorPosition(), composed.size()), m_preedit);
        inputSearchLineEdit(composed);
        return;
    }
    inputSearchLineEdit(text);
}

void MtSearchLineEdit::inputSearchLineEdit(const QString& text)
{
    if (text == m_lastText)
        return;
    m_lastText = text;
    qDebug().noquote().nospace() << "MtSearchLineEdit::inputSearchLineEdit"
                                 << " emit searchText : " << text;
    emit searchText(text);
}

void MtSearchLineEdit::returnPressedFromLineEdit()
{
    const QString text = m_lineEdit->text();
    qDebug().noquote().nospace() << "MtSearchLineEdit::returnPressedFromLineEdit"
                                 << " text:" << text;
    emit returnPressed(text);
}

void MtSearchLineEdit::cancelButtonClicked()
{
    m_preedit.clear();
    m_lineEdit->clear();
    emit cancelClicked();
}
