#pragma once

#include <QDialog>
#include <QJsonObject>

namespace Ui {
class MtMessageDialog;
}
class MtFrameLess;

// The program's message box: a small rounded, frameless box with OK and, for questions, Cancel.
// Callers create it on their stack through the static functions and compare the result with 1
// (QDialog::Accepted).
class MtMessageDialog : public QDialog
{
    Q_OBJECT
public:
    explicit MtMessageDialog(QWidget* parent = nullptr);
    ~MtMessageDialog() override;

    void setText(const QString& text);
    QString text() const;
    // Only OK shows: Cancel and the line between the buttons are hidden.
    void setOkOnly(bool okOnly);

    // OK and Cancel; accepted when OK was clicked.
    static int question(QWidget* parent, const QString& text, const QString& title = QString());
    // OK only.
    static int information(QWidget* parent, const QString& text, const QString& title = QString());
    // A server error object: "ERROR CODE:<code>\n<message>", OK only.
    static int error(QWidget* parent, const QJsonObject& errorObject);
    static QString errorText(const QJsonObject& errorObject);

private:
    Ui::MtMessageDialog* ui;
    MtFrameLess* m_frameLess;
};
