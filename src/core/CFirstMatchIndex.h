#pragma once

#include <cstddef>
#include <functional>
#include <unordered_map>

namespace korvex {

// For each key, the element of a list that comes first with that key, and how
// many elements of the list share it. The list stays the owner's: the index
// holds pointers, and the owner tells it of every element that gets or loses a
// key. A lookup costs one hash probe; adding costs the same; removing the first
// of several elements with one key asks the owner to find the next one.
//
// Not thread-safe: the owner guards it with the lock of its list.
template <class Key, class T, class Hash = std::hash<Key>, class Equal = std::equal_to<>>
class CFirstMatchIndex
{
public:
    // The first element with the key, or null. With a transparent Hash and
    // Equal the key may be of another type that compares with Key.
    template <class K> T* Find(const K& key) const
    {
        const auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : it->second.pFirst;
    }

    // The element has the key now. before(a, b) tells whether a comes before b
    // in the list.
    template <class Before> void Add(const Key& key, T* element, Before before)
    {
        SSlot& slot = m_map[key];
        ++slot.nCount;
        if (slot.pFirst == nullptr || before(element, slot.pFirst))
            slot.pFirst = element;
    }

    // The element loses the key (it goes, or its key changes). When it was
    // the first of several, nextFirst() must return the first element of the
    // list with the key other than this one.
    template <class K, class NextFirst>
    void Remove(const K& key, const T* element, NextFirst nextFirst)
    {
        const auto it = m_map.find(key);
        if (it == m_map.end())
            return;
        SSlot& slot = it->second;
        if (--slot.nCount == 0)
            m_map.erase(it);
        else if (slot.pFirst == element)
            slot.pFirst = nextFirst();
    }

    void Clear() { m_map.clear(); }

private:
    struct SSlot
    {
        T* pFirst{ nullptr };
        std::size_t nCount{ 0 };
    };

    std::unordered_map<Key, SSlot, Hash, Equal> m_map;
};

} // namespace korvex
