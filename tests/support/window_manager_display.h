#pragma once

#include <QMargins>
#include <QProcess>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace tessaron::test {

// A private X display (Xvfb) with one screen and a real window manager (openbox) on it, for tests that need a
// window's frame as a desktop draws it; read and driven with the X tools (xwininfo, xprop, wmctrl).
class WindowManagerDisplay
{
public:
    // What the display shows of one top-level window, in device pixels: its own area in root coordinates, the frame
    // the window manager reports around it, and whether it is maximised.
    struct Window
    {
        QRect client;
        QMargins frame;
        bool maximised = false;

        QRect withFrame() const { return client.marginsAdded(frame); }
    };

    // Starts the display with a screen of that size and the window manager on it, waiting a few seconds at most for
    // each; error() tells why when either did not come up.
    explicit WindowManagerDisplay(const QSize &screen);
    // Ends the window manager, then the display.
    ~WindowManagerDisplay();
    WindowManagerDisplay(const WindowManagerDisplay &) = delete;
    WindowManagerDisplay &operator=(const WindowManagerDisplay &) = delete;

    QString error() const { return m_error; }
    // The environment for a program shown on this display: DISPLAY set, and the xcb platform.
    QProcessEnvironment environment() const;
    // The area the window manager leaves to windows (_NET_WORKAREA); empty when it cannot be read.
    QRect workArea() const;
    // That window as the display shows it; nothing when xwininfo cannot read it.
    std::optional<Window> window(const QString &id) const;
    // Runs wmctrl on the display, as a technician's move or maximise; false when it fails.
    bool wmctrl(const QStringList &arguments) const;

    // The programs these tests need that are not installed.
    static QStringList missingPrograms();
    // True where the window manager tests must run (TESSARON_REQUIRE_WINDOW_MANAGER=1, as .ci/run sets it, or
    // CI=true): there they fail instead of skipping for a missing program.
    static bool required();

private:
    // Starts Xvfb and names its display once it answers; false, with no name, when it does not.
    bool startServer(const QSize &screen);
    // The standard output of an X tool run on the display; nothing when it fails or takes over five seconds.
    std::optional<QString> run(const QString &program, const QStringList &arguments) const;

    QTemporaryDir m_home;
    QProcess m_server;
    QProcess m_manager;
    QString m_display;
    QString m_error;
};

} // namespace tessaron::test

// Skips the calling test function where a program the window manager tests need is missing, naming it; fails it
// instead where those tests are required.
#define TESSARON_REQUIRE_WINDOW_MANAGER()                                                                              \
    if (const QStringList tessaronMissing = tessaron::test::WindowManagerDisplay::missingPrograms();                   \
        !tessaronMissing.isEmpty()) {                                                                                  \
        const QString tessaronReason = QStringLiteral("not installed (scripts/install-deps installs them): ")          \
            + tessaronMissing.join(QStringLiteral(", "));                                                              \
        if (tessaron::test::WindowManagerDisplay::required())                                                          \
            QFAIL(qPrintable(QStringLiteral("a window manager is required here, so this fails: ") + tessaronReason));  \
        QSKIP(qPrintable(tessaronReason));                                                                             \
    }
