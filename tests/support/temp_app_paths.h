#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace tessaron::test {

// Points every application folder into a fresh temporary folder for the lifetime of the object: LOCALAPPDATA
// becomes <tmp>/LocalAppData and the program folder <tmp>/Program. The destructor restores LOCALAPPDATA and
// the program folder and removes the temporary folder. One at a time per process; useInstallation switches
// between several installations inside it.
class TempAppPaths
{
public:
    TempAppPaths();
    ~TempAppPaths();
    TempAppPaths(const TempAppPaths &) = delete;
    TempAppPaths &operator=(const TempAppPaths &) = delete;

    bool isValid() const { return m_directory.isValid(); }
    // The temporary folder itself.
    QString path() const { return m_directory.path(); }
    // A path inside the temporary folder.
    QString filePath(const QString &name) const { return m_directory.filePath(name); }
    QString localAppData() const;
    QString programDirectory() const;

    // Points the folders at another installation: <tmp>/<name>/LocalAppData and <tmp>/<name>/Program, created
    // when missing. An empty name returns to the first one.
    void useInstallation(const QString &name);
    // The same for an installation in a folder of the test's own outside the temporary folder (another disk):
    // <folder>/LocalAppData and <folder>/Program. The test removes that folder itself.
    void useInstallationIn(const QString &folder);

private:
    QTemporaryDir m_directory;
    QByteArray m_previousLocalAppData;
    bool m_hadLocalAppData = false;
    // The folder holding the installation in use.
    QString m_installation;
};

} // namespace tessaron::test
