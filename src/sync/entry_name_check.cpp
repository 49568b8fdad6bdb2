#include "entry_name_check.h"

#include <QStringView>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace tessaron::sync {

namespace {

// A name is at most 255 UTF-16 code units on Windows and 255 bytes (UTF-8) on the phone's file systems. A file is
// written through a save file, whose temporary name beside it adds ".XXXXXX" to the name.
constexpr qsizetype maximumSegmentLength = 255;
constexpr qsizetype saveFileSuffixLength = 7;

// Windows opens a path of at most MAX_PATH (260) UTF-16 code units, its closing NUL included, and creates a folder
// only where an 8.3 name still fits below it (12 fewer), unless long paths are enabled on the machine, which the
// program cannot count on. Linux and the phone take 4096 bytes (PATH_MAX), which these never reach in UTF-8 (at
// most 3 bytes a code unit). So one limit, Windows's, on the whole local path, data folder included, holds on
// every platform; a file's save file adds its temporary suffix.
constexpr qsizetype maximumLocalPathLength = 259;
constexpr qsizetype maximumLocalFolderLength = 259 - 12;

// Paths longer than this are shortened in messages.
constexpr qsizetype maximumDisplayedLength = 200;

bool isForbiddenCharacter(QChar c)
{
    static constexpr std::array<char16_t, 8> windowsReserved {u'\\', u':', u'*', u'?', u'"', u'<', u'>', u'|'};
    return c.category() == QChar::Other_Control
        || std::find(windowsReserved.cbegin(), windowsReserved.cend(), c.unicode()) != windowsReserved.cend();
}

// Windows reads the part before the first dot, blanks at its end dropped, as a device when it is one of these
// names in any letter case: "con.txt", "Aux .tar.gz" and "COM¹" all name a device.
bool isDeviceName(QStringView segment)
{
    QStringView base = segment.left(segment.indexOf(u'.'));
    while (base.endsWith(u' '))
        base.chop(1);
    for (const char16_t *name : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
        if (base.compare(QStringView(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    if (base.size() != 4)
        return false;
    const QStringView port = base.left(3);
    const bool isPort
        = port.compare(u"COM", Qt::CaseInsensitive) == 0 || port.compare(u"LPT", Qt::CaseInsensitive) == 0;
    const char16_t number = base.at(3).unicode();
    return isPort && ((number >= u'0' && number <= u'9') || number == u'¹' || number == u'²' || number == u'³');
}

// An 8.3 name (at most one dot, up to 8 characters before it and 3 after) with "~" and a digit before the dot:
// the form of the short names Windows gives long names, which it also opens by them.
bool isShortNameForm(QStringView segment)
{
    const qsizetype dot = segment.indexOf(u'.');
    if (dot >= 0 && segment.indexOf(u'.', dot + 1) >= 0)
        return false;
    const QStringView base = dot < 0 ? segment : segment.left(dot);
    const qsizetype extension = dot < 0 ? 0 : segment.size() - dot - 1;
    if (base.size() > 8 || extension > 3)
        return false;
    for (qsizetype i = base.indexOf(u'~'); i >= 0 && i + 1 < base.size(); i = base.indexOf(u'~', i + 1)) {
        if (const char16_t next = base.at(i + 1).unicode(); next >= u'0' && next <= u'9')
            return true;
    }
    return false;
}

bool isTooLong(QStringView segment, bool isFileName)
{
    const qsizetype limit = maximumSegmentLength - (isFileName ? saveFileSuffixLength : 0);
    return segment.size() > limit || segment.toUtf8().size() > limit;
}

EntryNameFault segmentFault(QStringView segment, bool isFileName)
{
    if (segment.isEmpty() || segment == u".")
        return EntryNameFault::Malformed;
    if (!segment.isValidUtf16() || std::any_of(segment.cbegin(), segment.cend(), isForbiddenCharacter))
        return EntryNameFault::ForbiddenCharacter;
    if (segment.endsWith(u'.') || segment.endsWith(u' '))
        return EntryNameFault::TrailingDotOrBlank;
    if (isDeviceName(segment))
        return EntryNameFault::DeviceName;
    if (isShortNameForm(segment))
        return EntryNameFault::ShortName;
    if (isTooLong(segment, isFileName))
        return EntryNameFault::TooLong;
    return EntryNameFault::None;
}

} // namespace

EntryNameFault EntryNameCheck::fault(const QString &path)
{
    if (path.isEmpty() || path.startsWith(u'/'))
        return EntryNameFault::Malformed;
    if (path.contains(u".."_s))
        return EntryNameFault::DoubleDot;
    const QList<QStringView> segments = QStringView(path).split(u'/');
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (const EntryNameFault found = segmentFault(segments.at(i), i + 1 == segments.size());
            found != EntryNameFault::None)
            return found;
    }
    return EntryNameFault::None;
}

QString EntryNameCheck::reason(EntryNameFault fault)
{
    switch (fault) {
    case EntryNameFault::None:
        return {};
    case EntryNameFault::Malformed:
        return u"пустая часть пути, «.» или «/» в начале"_s;
    case EntryNameFault::DoubleDot:
        return u"две точки подряд"_s;
    case EntryNameFault::ForbiddenCharacter:
        return u"управляющий символ или один из \\ : * ? \" < > |"_s;
    case EntryNameFault::TrailingDotOrBlank:
        return u"имя оканчивается точкой или пробелом"_s;
    case EntryNameFault::DeviceName:
        return u"имя устройства Windows, как CON, NUL, COM1 или LPT1"_s;
    case EntryNameFault::ShortName:
        return u"короткое имя Windows с «~» и цифрой"_s;
    case EntryNameFault::TooLong:
        return u"слишком длинное имя"_s;
    case EntryNameFault::FileFolderClash:
        return u"то же имя у файла и у папки"_s;
    case EntryNameFault::DuplicatePath:
        return u"тот же путь, что у другой записи"_s;
    case EntryNameFault::PathTooLong:
        return u"вместе с папкой данных путь длиннее, чем допускает Windows"_s;
    case EntryNameFault::PathTooLongAnywhere:
        return u"путь длиннее, чем допускает Windows, в любой папке данных"_s;
    }
    return {};
}

QString EntryNameCheck::escaped(const QString &path)
{
    QString shown;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path.at(i);
        const bool pair = c.isHighSurrogate() && i + 1 < path.size() && path.at(i + 1).isLowSurrogate();
        if (pair) {
            shown += c;
            shown += path.at(++i);
        } else if (c.category() == QChar::Other_Control || c.isSurrogate()) {
            shown += u"\\u%1"_s.arg(c.unicode(), 4, 16, QChar(u'0'));
        } else {
            shown += c;
        }
    }
    return shown;
}

QString EntryNameCheck::displayed(const QString &path)
{
    const QString shown = escaped(path);
    if (shown.size() > maximumDisplayedLength)
        return shown.left(maximumDisplayedLength / 2) + u'…' + shown.right(maximumDisplayedLength / 4);
    return shown;
}

bool EntryNameCheck::isLocalPathTooLong(const QString &localPath, bool isFolder)
{
    if (isFolder)
        return localPath.size() > maximumLocalFolderLength;
    return localPath.size() + saveFileSuffixLength > maximumLocalPathLength
        || localPath.lastIndexOf(u'/') > maximumLocalFolderLength;
}

EntryNameFault EntryNameCheck::add(const QString &path)
{
    m_clashingPath.clear();
    if (const EntryNameFault own = fault(path); own != EntryNameFault::None)
        return own;
    const QString folded = path.toCaseFolded();
    const QList<QStringView> names = QStringView(folded).split(u'/');
    // Down the names the earlier entries hold: a file on the way, or this path already taken, refuses it.
    qsizetype parent = -1;
    qsizetype known = 0;
    for (; known < names.size(); ++known) {
        const auto child = m_children.constFind({parent, names.at(known).toString()});
        if (child == m_children.constEnd())
            break;
        const Node &node = m_nodes.at(*child);
        const bool isLast = known + 1 == names.size();
        if (node.isFile || isLast) {
            m_clashingPath = node.entry;
            return node.isFile && isLast ? EntryNameFault::DuplicatePath : EntryNameFault::FileFolderClash;
        }
        parent = *child;
    }
    for (; known < names.size(); ++known) {
        m_nodes.append({path, known + 1 == names.size()});
        m_children.insert({parent, names.at(known).toString()}, m_nodes.size() - 1);
        parent = m_nodes.size() - 1;
    }
    return EntryNameFault::None;
}

QString EntryNameCheck::refusal(const QString &path, EntryNameFault fault) const
{
    if (fault == EntryNameFault::FileFolderClash || fault == EntryNameFault::DuplicatePath) {
        return u"Пакет содержит повреждённый путь «%1»: имя уже занято записью «%2» (%3)."_s.arg(
            displayed(path), displayed(m_clashingPath), reason(fault));
    }
    return u"Пакет содержит повреждённый путь «%1»: %2."_s.arg(displayed(path), reason(fault));
}

} // namespace tessaron::sync
