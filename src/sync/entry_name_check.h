#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace tessaron::sync {

// Why the entry path of a synchronisation package cannot be written on every installation that reads packages.
// The rules are those of the strictest file system a package meets (Windows names, and the byte limits of the
// phone's), applied on every platform, so that what one side puts into a package the other side can hold.
enum class EntryNameFault {
    None,
    // Empty, beginning with "/", or with an empty or "." segment: no place below a folder.
    Malformed,
    // ".." anywhere, even inside a name ("a..b.pdf"): the rule the phone app applies too.
    DoubleDot,
    // A control character, an unpaired surrogate, or one of \ : * ? " < > |.
    ForbiddenCharacter,
    // A segment ending in a dot or a blank, which Windows drops: the name of another file.
    TrailingDotOrBlank,
    // A Windows device name (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, ...) with or without an extension.
    DeviceName,
    // A segment shaped like a Windows short name ("CHECKS~1.TXT"), which can be another name of another file.
    ShortName,
    // A segment longer than a file system holds.
    TooLong,
    // The file of one entry is a folder on the way of another (letter case ignored, as Windows does).
    FileFolderClash,
};

// Checks the entry paths of one package in package order: each on its own, and each against the earlier entries
// it accepted. The export leaves out an entry it refuses; the import refuses the whole package.
class EntryNameCheck
{
public:
    // The fault of the path on its own, or None.
    static EntryNameFault fault(const QString &path);
    // The fault as a short Russian phrase ("две точки подряд"); empty for None.
    static QString reason(EntryNameFault fault);
    // The path as a message shows it: each control character or unpaired surrogate as \uXXXX, a very long path
    // shortened in its middle.
    static QString displayed(const QString &path);
    // The paths that add() refused, for a message: each shown with its fault ("«a..b.pdf» (две точки подряд)"),
    // the first ten, then how many more.
    static QString listed(const QStringList &refusedPaths);

    // Checks the next entry of the package. An accepted path is remembered; a refused one is not, so that the
    // entries after it are checked against what is kept.
    EntryNameFault add(const QString &path);
    // After add() gave FileFolderClash: the earlier entry whose file or folder has the same name.
    QString clashingPath() const { return m_clashingPath; }
    // The Russian refusal of a package by the entry that add() refused, naming the entry and its fault (and, for a
    // clash, the earlier entry).
    QString refusal(const QString &path, EntryNameFault fault) const;

private:
    // Case-folded paths of the accepted entries and of the folders they lie in, each with the entry that made it.
    QHash<QString, QString> m_files;
    QHash<QString, QString> m_folders;
    QString m_clashingPath;
};

} // namespace tessaron::sync
