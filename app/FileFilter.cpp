#include "app/FileFilter.h"

#include <QCoreApplication>
#include <cctype>

namespace {
std::string UpperCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
}  // namespace

std::string LowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<FileFilterEntry> FileFilterFor(const std::string& extension) {
    const QString kind =
        QCoreApplication::translate("FileFilter", "%1-files").arg(UpperCase(extension).c_str());
    return {{kind.toStdString(), "*." + LowerCase(extension)},
            {QCoreApplication::translate("FileFilter", "All files").toStdString(), "*.*"}};
}

QStringList QtNameFilters(const std::vector<FileFilterEntry>& entries) {
    QStringList filters;
    for (const FileFilterEntry& e : entries) {
        // "*.*" means every file; here a name need not have a dot.
        const std::string pattern = e.pattern == "*.*" ? "*" : e.pattern;
        filters << QString::fromStdString(e.name + " (" + pattern + ")");
    }
    return filters;
}
