#include "recentfilelist.h"

#include "winapp.h"

#include <algorithm>
#include <cstdio>

CRecentFileList::CRecentFileList(const char* lpszSection, const char* lpszEntryFormat, int nSize)
    : m_strSection(lpszSection), m_strEntryFormat(lpszEntryFormat), m_nSize(nSize) {}

void CRecentFileList::Add(const char* lpszPathName) {
    const std::string path = lpszPathName;
    if (path.empty())
        return;
    Remove(path);
    m_entries.insert(m_entries.begin(), path);
    if (m_entries.size() > static_cast<std::size_t>(m_nSize))
        m_entries.resize(static_cast<std::size_t>(m_nSize));
}

void CRecentFileList::Remove(const std::string& path) {
    m_entries.erase(std::remove(m_entries.begin(), m_entries.end(), path), m_entries.end());
}

std::string CRecentFileList::EntryName(int index) const {
    char name[64];
    std::snprintf(name, sizeof name, m_strEntryFormat.c_str(), index + 1);
    return name;
}

void CRecentFileList::ReadList() {
    m_entries.clear();
    for (int i = 0; i < m_nSize; ++i) {
        std::string path =
            AfxGetApp()->GetProfileString(m_strSection.c_str(), EntryName(i).c_str(), "");
        if (!path.empty())
            m_entries.push_back(std::move(path));
    }
}

void CRecentFileList::WriteList() const {
    for (int i = 0; i < m_nSize; ++i) {
        const std::string path =
            static_cast<std::size_t>(i) < m_entries.size() ? m_entries[i] : std::string();
        AfxGetApp()->WriteProfileString(m_strSection.c_str(), EntryName(i).c_str(),
                                        path.empty() ? nullptr : path.c_str());
    }
}
