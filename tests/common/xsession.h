#pragma once

#include <QProcess>

// A real X display for tests of the whole program: Xvfb on a free display number and, when asked,
// trayer as the system tray host. xdotool drives and inspects the windows on it.
class XSession
{
public:
    explicit XSession(bool withTray);
    ~XSession();

    bool isValid() const { return !m_display.isEmpty(); }
    QString errorString() const { return m_error; }
    // Adds DISPLAY (and drops any Wayland or platform overrides) to a child's environment.
    QProcessEnvironment environment(QProcessEnvironment base) const;

    // xdotool helpers; the results are window ids in decimal.
    QStringList visibleWindows(const QString& namePattern) const
    {
        return xdotool({"search", "--onlyvisible", "--name", namePattern});
    }
    QStringList windowsOfPid(qint64 pid) const
    {
        return xdotool({"search", "--pid", QString::number(pid)});
    }
    bool key(const QString& windowId, const QString& keys) const;

private:
    QStringList xdotool(const QStringList& args, int* exitCode = nullptr) const;

    QProcess m_xvfb;
    QProcess m_tray;
    QString m_display;
    QString m_error;
};
