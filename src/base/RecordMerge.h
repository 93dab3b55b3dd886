#pragma once

// Three-way merges for data files that two programs may change at once: "base" is the version a
// store read, "ours" what it holds now, "theirs" what another program wrote meanwhile. Whatever
// one side changed and the other did not is kept; a record changed on one side and removed on
// the other is kept with its change.

#include <QHash>
#include <QList>
#include <QSet>

#include <algorithm>
#include <utility>

namespace tavrin::RecordMerge {

// One value: a side that left it as it was takes the other side's.
template <typename T>
T pick(const T& base, const T& ours, const T& theirs)
{
    return ours == base ? theirs : ours;
}

// Records with identifiers, in the order of `theirs`, our additions after the record that
// precedes them in `ours`. `both(base or nullptr, ours, theirs)` merges a record both changed.
template <typename T, typename IdOf, typename Both>
QList<T> byId(const QList<T>& base, const QList<T>& ours, const QList<T>& theirs, IdOf idOf, Both both)
{
    using Id = std::decay_t<decltype(idOf(std::declval<const T&>()))>;
    QHash<Id, const T*> inBase, inOurs;
    for (const T& r : base) inBase.insert(idOf(r), &r);
    for (const T& r : ours) inOurs.insert(idOf(r), &r);
    QSet<Id> inTheirs;
    QList<T> result;
    result.reserve(std::max(ours.size(), theirs.size()));
    for (const T& t : theirs) {
        const Id id = idOf(t);
        inTheirs.insert(id);
        const T* b = inBase.value(id);
        const T* o = inOurs.value(id);
        if (!o) {
            // Removed here: gone unless they changed it.
            if (!(b && *b == t)) result.push_back(t);
        } else if (*o == t || (b && *o == *b)) {
            result.push_back(t);
        } else if (b && t == *b) {
            result.push_back(*o);
        } else {
            result.push_back(both(b, *o, t));
        }
    }
    qsizetype insertAt = 0;
    for (const T& o : ours) {
        const Id id = idOf(o);
        if (inTheirs.contains(id)) {
            const auto at = std::find_if(result.cbegin(), result.cend(), [&](const T& r) { return idOf(r) == id; });
            if (at != result.cend()) insertAt = (at - result.cbegin()) + 1;
            continue;
        }
        const T* b = inBase.value(id);
        // Removed there: gone unless we changed it.
        if (b && *b == o) continue;
        result.insert(insertAt++, o);
    }
    return result;
}

// Keyed values (a map from identifier to settings): the same rule per key;
// `both(base value or nullptr, ours, theirs)` merges a value both changed.
template <typename Map, typename Both>
Map byKey(const Map& base, const Map& ours, const Map& theirs, Both both)
{
    Map result;
    auto keys = theirs.keys();
    for (const auto& k : ours.keys())
        if (!theirs.contains(k)) keys.push_back(k);
    for (const auto& k : keys) {
        const bool b = base.contains(k), o = ours.contains(k), t = theirs.contains(k);
        if (o && t) {
            const auto& ov = ours.value(k);
            const auto& tv = theirs.value(k);
            if (ov == tv || (b && ov == base.value(k))) result.insert(k, tv);
            else if (b && tv == base.value(k)) result.insert(k, ov);
            else result.insert(k, both(b ? &base.find(k).value() : nullptr, ov, tv));
        } else if (t) {
            if (!(b && base.value(k) == theirs.value(k))) result.insert(k, theirs.value(k));
        } else if (o) {
            if (!(b && base.value(k) == ours.value(k))) result.insert(k, ours.value(k));
        }
    }
    return result;
}

} // namespace tavrin::RecordMerge
