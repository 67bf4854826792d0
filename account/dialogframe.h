#pragma once

class QDialog;
class QPushButton;
class QString;
class QVBoxLayout;

// The account dialogs' undecorated frame: moved by its body, a title line with the close button
// `exitPushButton`, and the layout the dialog fills below it.
namespace DialogFrame {
QVBoxLayout* build(QDialog* dialog, const QString& title);
} // namespace DialogFrame
