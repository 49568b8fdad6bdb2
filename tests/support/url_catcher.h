#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace tessaron::test {

// Receives the URLs code under test asks the desktop to open, once installed with
// QDesktopServices::setUrlHandler(scheme, &catcher, "open"): no desktop program starts.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace tessaron::test
