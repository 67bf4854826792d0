#pragma once

#include <QString>

#include <functional>

class MainDialog;

// What the benchmarks that run the whole program's windows in their own process share.
namespace BenchDesk {

// As the program runs by default: every line is formatted, nothing below a warning is kept.
void installQuietHandler();
// Turns the event loop until `done` holds or the time is up; whether it holds at the end. `done`
// is asked after every event and at least every millisecond; in between the thread sleeps.
bool waitFor(const std::function<bool()>& done, int timeoutMs);
// Types the account and the password on the login page and presses the button, without the
// automatic login.
void typeLogin(MainDialog& dialog, const QString& account);
// typeLogin(), then waits until the rooms are stored and the broker connection is up.
bool logIn(MainDialog& dialog, const QString& account, int timeoutMs);

} // namespace BenchDesk
