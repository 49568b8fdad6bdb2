#pragma once

// Growth that fails the one way whoever runs the decode, the save or the export turns into its message: a
// std::bad_alloc. Qt 6.4's QList appends and resize, QString, QByteArray and the std containers throw it; two
// growths of Qt 6.4 do not. QList::reserve takes a failed allocation silently: a list that held rows is left
// pointing at nothing, and the next append writes through a null pointer (so do the QList constructors that take a
// size or a range, and the copy a shared list makes at its first change). And QHash and QSet insert through a
// function declared noexcept: an allocation that fails there ends the program, whoever would catch it. Every
// reservation of the decoder and of what builds rows from its report goes through here, and the sets and maps they
// grow are the std ones.

#include <QHashFunctions>
#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace tessaron::ddd {

template<typename Key, typename Value> using CheckedHash = std::unordered_map<Key, Value>;
template<typename Key> using CheckedSet = std::unordered_set<Key>;

// What QHash::value gives: the value under key, or a default-constructed one.
template<typename Map> typename Map::mapped_type valueOf(const Map &map, const typename Map::key_type &key)
{
    const auto found = map.find(key);
    return found == map.end() ? typename Map::mapped_type() : found->second;
}

// Room for total elements in a container whose own reserve already throws on a failed allocation.
template<typename Container> void reserveChecked(Container &container, qsizetype total)
{
    container.reserve(std::max<qsizetype>(total, 0));
}

// Room for total elements, the list unshared; throws std::bad_alloc, the list as it was, when there is no memory for
// it. Reserved in a fresh list, a failed allocation leaves that list empty rather than pointing at nothing, and
// shows in its capacity.
template<typename T> void reserveChecked(QList<T> &list, qsizetype total)
{
    total = std::max(total, list.size());
    if (total == 0 || (total <= list.capacity() && list.isDetached()))
        return;
    QList<T> grown;
    grown.reserve(total);
    if (grown.capacity() < total)
        qBadAlloc(); // Qt's own report of a failed allocation, as its appends make it
    // Moved when the list is its own, copied when it is shared; either way into the room just made.
    grown.append(std::move(list));
    list.swap(grown);
}

// Room for extra more elements in a list that grows block by block. A reservation reallocates to exactly the size
// asked and copies every element, so reserving exactly per block would make a file of many blocks quadratic; the
// capacity grows at least twofold instead.
template<typename List> void reserveMore(List &list, qsizetype extra)
{
    if (list.capacity() - list.size() < extra)
        reserveChecked(list, std::max(list.size() + extra, 2 * list.size()));
}

} // namespace tessaron::ddd
