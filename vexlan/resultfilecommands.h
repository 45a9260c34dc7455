// Result files in the window: File > Open Result shows a saved RAW result file beside the
// image of its stem, or beside an empty image slot, and File Save then writes the same bytes;
// File > Export Result as PNG writes the result shown as an 8-bit gray PNG file.
#pragma once

#include "afxwin.h"

#include <string>

class CVexlanView;

class CResultFileCommands {
public:
    explicit CResultFileCommands(CVexlanView& view) : m_view(view) {}

    // Asks for a result file and opens it.
    void Open();
    // A file that cannot be read is reported and changes nothing.
    void OpenFile(const std::string& path);
    void ExportPng();
    bool CanExportPng() const;

private:
    // Whether the image shown is the current entry's, of the stem and size of a result file.
    bool ShowsImageOf(const std::string& resultName, int width, int height) const;

    CVexlanView& m_view;
};
