// The class folder: one entry per student, NAME.cpp (or .c, .cc, .cxx, in any case) or a folder
// NAME holding one such source. Every entry is accounted for: what cannot be graded (a hidden
// file, a name that paths and lines cannot carry, a link out of the folder, two sources of
// one name) is kept with the reason.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CClassEntry {
    // The student's name: the source's stem or the folder's name. For an entry that cannot be
    // graded, the entry's own name as shown (control characters escaped).
    std::string name;
    std::string source;  // the step source to build; empty when it cannot be graded
    std::string problem; // why it cannot be graded
};

// Every entry of folder, in name order. Nothing, with problem set to a sentence, when the folder
// cannot be read or holds nothing at all.
std::optional<std::vector<CClassEntry>> ReadClassFolder(const std::string& folder,
                                                        std::string& problem);

// name with its control characters written as \n, \t or \xNN, for a line of its own.
std::string VisibleName(const std::string& name);
