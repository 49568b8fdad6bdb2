#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <utility>

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
    // The path of an earlier entry again (letter case ignored): one file named twice.
    DuplicatePath,
    // The local path the entry would have, its data folder included, is longer than Windows holds
    // (isLocalPathTooLong); found where the local folder is known, never by add().
    PathTooLong,
    // The local path would be longer than Windows holds even below the shortest folder its data folder can be: no
    // installation holds the entry. Found where the entry's data folder is known, never by add().
    PathTooLongAnywhere,
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
    // The whole path with each control character or unpaired surrogate as \uXXXX, as the log names a file.
    static QString escaped(const QString &path);
    // The path as a message shows it: escaped, a very long path shortened in its middle.
    static QString displayed(const QString &path);
    // Whether a file (or, with isFolder, a folder) at this absolute local path is more than Windows holds without
    // its long paths enabled, which no program can count on: the one limit on every platform, as for names.
    static bool isLocalPathTooLong(const QString &localPath, bool isFolder = false);

    // Checks the next entry of the package. An accepted path is remembered; a refused one is not, so that the
    // entries after it are checked against what is kept. Time and memory grow with the path's length, not with
    // its square: the entries are kept as a tree of their case-folded names.
    EntryNameFault add(const QString &path);
    // After add() gave FileFolderClash or DuplicatePath: the earlier entry whose file or folder has the same name.
    QString clashingPath() const { return m_clashingPath; }
    // The Russian refusal of a package by the entry that add() refused, naming the entry and its fault (and, for a
    // clash or a repeated path, the earlier entry).
    QString refusal(const QString &path, EntryNameFault fault) const;

private:
    struct Node
    {
        // The accepted entry that made this file or folder.
        QString entry;
        bool isFile = false;
    };
    // Each accepted file and folder by its folder's node (-1: the package's top) and its case-folded name.
    QHash<std::pair<qsizetype, QString>, qsizetype> m_children;
    QList<Node> m_nodes;
    QString m_clashingPath;
};

} // namespace tessaron::sync
