#pragma once

#include <QImage>
#include <QProcess>
#include <QRect>

#include <memory>

// Xvfb with, when asked, a tray host and a window manager (without one no window is ever
// iconic nor asks for attention).
class XSession
{
public:
    explicit XSession(bool withTray, bool withWindowManager = false);
    ~XSession();

    bool isValid() const { return !m_display.isEmpty(); }
    QString errorString() const { return m_error; }
    // Adds DISPLAY (and drops any Wayland or platform overrides) to a child's environment.
    QProcessEnvironment environment(QProcessEnvironment base) const;

    // A program on the display with that environment; null when it does not start.
    std::unique_ptr<QProcess> start(const QString& program, const QProcessEnvironment& env) const;
    // A picture of a window as the X server has it; null when it cannot be taken.
    QImage grab(const QString& windowId) const;

    // xdotool helpers; the results are window ids in decimal.
    QStringList visibleWindows(const QString& namePattern) const
    {
        return xdotool({"search", "--onlyvisible", "--name", namePattern});
    }
    QStringList windowsOfPid(qint64 pid) const
    {
        return xdotool({"search", "--pid", QString::number(pid)});
    }
    bool key(const QString& windowId, const QString& keys) const
    {
        int code = -1;
        xdotool({"key", "--window", windowId, keys}, &code);
        return code == 0;
    }
    // Any xdotool command; its output lines (`exitCode` receives its exit code). A search
    // lists every matching window there was while it ran.
    QStringList xdotool(const QStringList& args, int* exitCode = nullptr) const;
    // The window's position and size on the screen (null when it is gone).
    QRect geometry(const QString& windowId) const;
    // One property of a window as xprop prints it ("_NET_WM_STATE(ATOM) = ..."); empty when the
    // window or the property is missing.
    QString property(const QString& windowId, const QString& name) const;
    // The window manager's state of a top-level window: "Normal", "Iconic", "Withdrawn" or
    // empty when it has none.
    QString wmState(const QString& windowId) const;
    // Mapped, with every ancestor mapped (xwininfo's "IsViewable").
    bool isViewable(const QString& windowId) const
    {
        int code = -1;
        const QString out = run(QStringLiteral("xwininfo"), {"-id", windowId}, &code);
        return code == 0 && out.contains(QLatin1String("Map State: IsViewable"));
    }
    // Whether the pointer lies on that window and not on another one above it.
    bool underPointer(const QString& windowId) const;
    bool demandsAttention(const QString& windowId) const
    {
        return property(windowId, QStringLiteral("_NET_WM_STATE"))
            .contains(QLatin1String("_NET_WM_STATE_DEMANDS_ATTENTION"));
    }

private:
    // `errors` receives what the program wrote to its error output.
    QString run(const QString& program, const QStringList& args, int* exitCode = nullptr,
                QString* errors = nullptr) const;

    QProcess m_xvfb;
    QProcess m_tray;
    QProcess m_windowManager;
    QString m_display;
    QString m_error;
};
