// Tables for a spreadsheet: CSV text in UTF-8 that every spreadsheet program reads as written.
// A field is quoted where it must be, and one that a spreadsheet would take for a formula
// (beginning with =, +, -, @, a tab or a carriage return) is kept as text.
#pragma once

#include <string>
#include <vector>

// One row, fields separated by commas, ending in CR LF.
std::string CsvLine(const std::vector<std::string>& fields);

// Writes table at hostPath after a byte-order mark, by which spreadsheet programs know UTF-8;
// false, with problem set to a sentence, when it cannot.
bool WriteCsvFile(const std::string& hostPath, const std::string& table, std::string& problem);
