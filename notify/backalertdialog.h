#pragma once

#include <QDialog>

namespace Ui {
class BackAlertDialog;
}

// A small window that asks for attention in the taskbar while the main window is hidden; when
// the user brings it to the front it goes away and reports it, so the main window can show
// itself instead.
class BackAlertDialog : public QDialog
{
    Q_OBJECT
public:
    explicit BackAlertDialog(QWidget* parent = nullptr);
    ~BackAlertDialog() override;

    // 1 while the dialog is the active window, else 0.
    int active() const { return m_active; }

signals:
    void onBackAlertActivate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Ui::BackAlertDialog* ui;
    int m_active = 0;
};
