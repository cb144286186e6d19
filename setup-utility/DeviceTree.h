// The tree's item maps: which tree item stands for which device class or device. Every tree
// item is in exactly one of them; ReloadTree alone refills them, every other command only
// looks things up.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

// An ordered list of (tree item, text) pairs searched from the front: the first match wins.
// A lookup answers a position, or -1 when nothing matches.
class CItemMap
{
public:
    void Add(HTREEITEM item, const std::wstring &text) { m_pairs.emplace_back(item, text); }
    void RemoveAll() { m_pairs.clear(); }
    int GetSize() const { return static_cast<int>(m_pairs.size()); }

    int FindKey(HTREEITEM item) const
    {
        for (size_t i = 0; i < m_pairs.size(); ++i)
            if (m_pairs[i].first == item)
                return static_cast<int>(i);
        return -1;
    }
    int FindVal(const std::wstring &text) const
    {
        for (size_t i = 0; i < m_pairs.size(); ++i)
            if (m_pairs[i].second == text)
                return static_cast<int>(i);
        return -1;
    }
    HTREEITEM GetKeyAt(int index) const { return m_pairs[static_cast<size_t>(index)].first; }
    const std::wstring &GetValueAt(int index) const { return m_pairs[static_cast<size_t>(index)].second; }

    // The text of an item, or nullptr when the item is not in the map.
    const std::wstring *Lookup(HTREEITEM item) const
    {
        int i = FindKey(item);
        return i < 0 ? nullptr : &m_pairs[static_cast<size_t>(i)].second;
    }

private:
    std::vector<std::pair<HTREEITEM, std::wstring>> m_pairs;
};

// Tree item -> class name, one per class item.
extern CItemMap ClassItemMap;
// Tree item -> device path ("<class>\<device key>"), one per device item.
extern CItemMap DeviceItemMap;
