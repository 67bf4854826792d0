#pragma once

class QWidget;

// What a screen reader is told beyond what Qt derives from a widget's class. Qt's AT-SPI bridge
// lists every child widget; it cannot leave one out, so a picture that says nothing is reported
// neither visible nor showing, which is what screen readers skip (with all it holds).
namespace MtAccessible {
// Out of what a screen reader presents: a picture without meaning (a logo, an ornament), a
// copy of a widget that is never on a screen.
void hide(QWidget* widget);
// A notice window (a message box, a toast): reported as an alert, with its accessible name and
// description as its text, so that it is read out when it shows.
void markAlert(QWidget* window);
// Every button inside `window` that shows only a picture or a symbol is named by its tool tip,
// the words a sighted user gets for it.
void nameButtonsByToolTip(QWidget* window);
} // namespace MtAccessible
