// Result files in the window: File > Open Result shows a saved RAW result file beside the
// image of its stem, or beside an empty image slot, and File Save then writes the same bytes;
// File > Export Result as PNG writes the result shown as an 8-bit gray PNG file; File > Save
// Result As writes it under a name of the user's choice, as a RAW file, or as a PNG file for a
// name ending in .png.
#pragma once

#include "afxwin.h"

#include <optional>
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
    void SaveAs();
    bool ShowsResult() const;

private:
    // Whether the image shown is the current entry's, of the stem and size of a result file.
    bool ShowsImageOf(const std::string& resultName, int width, int height) const;
    // Asks where, starting from suggestedName; the chosen path, or nothing when cancelled.
    std::optional<std::string> AskWhere(const std::string& suggestedName, const char* extension,
                                        const char* filter) const;
    // Writes the result shown to path as a RAW file or as a PNG file; reports a failure and
    // says where it went.
    void WriteShownResult(const std::string& path, bool asPng, const char* done) const;

    CVexlanView& m_view;
};
