#pragma once

#include <QDialog>

namespace Ui {
class MainDialog;
}

// The program's one main window: login page, room list and lock page. It owns the user's session;
// for now it hosts the pages and answers the single-instance hand-over.
class MainDialog : public QDialog
{
    Q_OBJECT
public:
    explicit MainDialog(QWidget* parent = nullptr);
    ~MainDialog() override;

    // The newest main window of the process, for the parts that need to reach it.
    static MainDialog* instance();

public slots:
    void messageReceivedFromApplication(const QString& msg);

private slots:
    void initUi();
    void on_minimizeButton_clicked();
    void on_maximumButton_clicked();
    void on_closeButton_clicked();

private:
    Ui::MainDialog* ui;
};
