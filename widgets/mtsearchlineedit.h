#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// The search box of the room list and the chat window: a search picture, a borderless line edit
// and a cancel button. Searching follows an input-method composition while it is typed (Korean
// syllables are composed before they are committed), so results appear with every keystroke.
class MtSearchLineEdit : public QWidget
{
    Q_OBJECT
public:
    explicit MtSearchLineEdit(QWidget* parent = nullptr);

    QLineEdit* lineEdit() const { return m_lineEdit; }
    QToolButton* cancelButton() const { return m_cancelButton; }
    QString text() const;
    void setText(const QString& text);
    void setPlaceholderText(const QString& text);

    QString preeditText() const { return m_preedit; }

signals:
    void inputSearchText(QString text);
    void returnPressed(QString text);
    void searchText(QString text);
    void cancelClicked();

public slots:
    void textChangedFromLineEdit(const QString& text);
    void returnPressedFromLineEdit();
    void cancelButtonClicked();
    void inputSearchLineEdit(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString withPreedit(const QString& commit, const QString& preedit) const;

    QToolButton* m_searchButton;
    QLineEdit* m_lineEdit;
    QToolButton* m_cancelButton;
    QString m_lastText;
    QString m_preedit;
};
