#pragma once

#include <QString>
#include <QTemporaryDir>

namespace tessaron::test {

// The application log started in a temporary folder for the lifetime of the object, so a test can read what a
// failure left there beside the text it showed. Shuts the log down again at the end.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Everything written to the log so far, as text.
    QString text() const;

private:
    QTemporaryDir m_directory;
};

} // namespace tessaron::test
