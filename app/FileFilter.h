// The open-file dialog's filter for one kind of file: the kind's own entry first, then all
// files ("RFW" offers "RFW-files" with *.rfw, and "All files").
#pragma once

#include <QStringList>
#include <string>
#include <vector>

struct FileFilterEntry {
    std::string name;
    std::string pattern;
};

std::string LowerCase(std::string text);
std::vector<FileFilterEntry> FileFilterFor(const std::string& extension);
// The entries in the form Qt's file dialog takes: "RFW-files (*.rfw)".
QStringList QtNameFilters(const std::vector<FileFilterEntry>& entries);
