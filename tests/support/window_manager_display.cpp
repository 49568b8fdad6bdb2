#include "window_manager_display.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

using namespace Qt::StringLiterals;

namespace tessaron::test {

namespace {

constexpr int startWaitMs = 10000;
constexpr int answerWaitMs = 3000;

// The numbers the groups of that pattern capture in text; none where it does not match.
QList<int> numbersAfter(const QString &text, const QString &pattern)
{
    const QRegularExpressionMatch match = QRegularExpression(pattern).match(text);
    QList<int> numbers;
    for (int group = 1; match.hasMatch() && group <= match.lastCapturedIndex(); ++group)
        numbers.append(match.captured(group).toInt());
    return numbers;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

} // namespace

WindowManagerDisplay::WindowManagerDisplay(const QSize &screen)
{
    // A display number just given up by a server still shutting down (another test's) can be taken while that
    // server still holds its socket, and then answers nobody: such a display is left, and another one started.
    for (int attempt = 0; attempt < 3 && !startServer(screen); ++attempt)
        stop(m_server);
    if (m_display.isEmpty()) {
        m_error
            = u"Xvfb did not start or does not answer: "_s + QString::fromLocal8Bit(m_server.readAllStandardError());
        return;
    }

    // Its own configuration folder, so that a user's openbox settings play no part.
    QProcessEnvironment environment = this->environment();
    environment.insert(u"HOME"_s, m_home.path());
    environment.insert(u"XDG_CONFIG_HOME"_s, m_home.path());
    m_manager.setProcessEnvironment(environment);
    m_manager.start(u"openbox"_s, {u"--sm-disable"_s});
    const QDeadlineTimer deadline(startWaitMs);
    while (!run(u"xprop"_s, {u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s}).value_or(QString()).contains(u"window id")
        || workArea().isEmpty()) {
        if (m_manager.waitForFinished(50) || deadline.hasExpired()) {
            m_error = u"openbox did not start on "_s + m_display + u": "_s
                + QString::fromLocal8Bit(m_manager.readAllStandardError());
            return;
        }
    }
}

bool WindowManagerDisplay::startServer(const QSize &screen)
{
    // Xvfb picks a free display and writes its number to the descriptor named.
    m_display.clear();
    m_server.start(u"Xvfb"_s,
        {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"%1x%2x24"_s.arg(screen.width()).arg(screen.height()),
            u"-nolisten"_s, u"tcp"_s});
    QDeadlineTimer deadline(startWaitMs);
    while (!m_server.canReadLine() && m_server.state() != QProcess::NotRunning && !deadline.hasExpired())
        m_server.waitForReadyRead(100);
    const QString number = QString::fromLatin1(m_server.readLine()).trimmed();
    if (number.isEmpty())
        return false;
    m_display = u":"_s + number;
    deadline.setRemainingTime(answerWaitMs);
    while (!run(u"xprop"_s, {u"-root"_s, u"-len"_s, u"0"_s})) {
        if (m_server.waitForFinished(50) || deadline.hasExpired()) {
            m_display.clear();
            return false;
        }
    }
    return true;
}

WindowManagerDisplay::~WindowManagerDisplay()
{
    stop(m_manager);
    stop(m_server);
}

QProcessEnvironment WindowManagerDisplay::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, m_display);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    return environment;
}

QRect WindowManagerDisplay::workArea() const
{
    // One area per desktop; the first is the one shown.
    const QList<int> area = numbersAfter(
        run(u"xprop"_s, {u"-root"_s, u"_NET_WORKAREA"_s}).value_or(QString()), uR"(= (\d+), (\d+), (\d+), (\d+))"_s);
    return area.size() == 4 ? QRect(area.at(0), area.at(1), area.at(2), area.at(3)) : QRect();
}

std::optional<WindowManagerDisplay::Window> WindowManagerDisplay::window(const QString &id) const
{
    const std::optional<QString> info = run(u"xwininfo"_s, {u"-id"_s, id, u"-stats"_s, u"-wm"_s});
    if (!info)
        return std::nullopt;
    const QList<int> x = numbersAfter(*info, uR"(Absolute upper-left X:\s+(-?\d+))"_s);
    const QList<int> y = numbersAfter(*info, uR"(Absolute upper-left Y:\s+(-?\d+))"_s);
    const QList<int> width = numbersAfter(*info, uR"(Width:\s+(\d+))"_s);
    const QList<int> height = numbersAfter(*info, uR"(Height:\s+(\d+))"_s);
    if (x.isEmpty() || y.isEmpty() || width.isEmpty() || height.isEmpty())
        return std::nullopt;
    Window window;
    window.client = QRect(x.constFirst(), y.constFirst(), width.constFirst(), height.constFirst());
    // Left, right, top, bottom, as _NET_FRAME_EXTENTS lists them.
    const QList<int> frame = numbersAfter(*info, uR"(Frame extents: (\d+), (\d+), (\d+), (\d+))"_s);
    if (frame.size() == 4)
        window.frame = QMargins(frame.at(0), frame.at(2), frame.at(1), frame.at(3));
    window.maximised = info->contains(u"Maximized Vert") && info->contains(u"Maximized Horz");
    return window;
}

bool WindowManagerDisplay::wmctrl(const QStringList &arguments) const
{
    return run(u"wmctrl"_s, arguments).has_value();
}

QStringList WindowManagerDisplay::missingPrograms()
{
    QStringList missing;
    for (const QString &program : {u"Xvfb"_s, u"openbox"_s, u"xprop"_s, u"xwininfo"_s, u"wmctrl"_s}) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            missing.append(program);
    }
    return missing;
}

bool WindowManagerDisplay::required()
{
    return qEnvironmentVariableIntValue("TESSARON_REQUIRE_WINDOW_MANAGER") == 1
        || qEnvironmentVariable("CI") == u"true";
}

std::optional<QString> WindowManagerDisplay::run(const QString &program, const QStringList &arguments) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, arguments);
    if (!process.waitForFinished(5000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        stop(process);
        return std::nullopt;
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

} // namespace tessaron::test
