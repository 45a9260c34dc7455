// The recent-file list: the last files opened through the document template, newest first,
// kept in the application's settings.
#pragma once

#include <string>
#include <vector>

class CRecentFileList {
public:
    CRecentFileList(const char* lpszSection, const char* lpszEntryFormat, int nSize);

    void Add(const char* lpszPathName);
    void Remove(const std::string& path);
    int GetSize() const { return m_nSize; }
    const std::vector<std::string>& GetEntries() const { return m_entries; }

    void ReadList();
    void WriteList() const;

private:
    std::string EntryName(int index) const;

    std::string m_strSection;
    std::string m_strEntryFormat;
    int m_nSize;
    std::vector<std::string> m_entries;
};
