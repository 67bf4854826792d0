#pragma once

class QString;

// Starting with the user's session. Windows: a shortcut in the user's Startup folder; elsewhere:
// an XDG autostart entry. Both name the running executable.
bool platformSetAutoRun(const QString& appName, bool enabled);
// The same for a given program instead of the running executable.
bool platformSetAutoRun(const QString& appName, bool enabled, const QString& program);
bool platformIsAutoRun(const QString& appName);
