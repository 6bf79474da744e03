#include "station/SlotNames.h"

#include <cstddef>
#include <sstream>

#include "platform/WholeFile.h"

namespace {

constexpr std::size_t kMaxFileSize = 1 << 20;  // far more than the places of any bench
constexpr const char* kBlank = " \t\r";        // \r: a file written on Windows

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(kBlank);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

}  // namespace

bool SlotNames::Parse(const std::string& text, std::string& error) {
    std::map<std::string, std::string> names;
    std::map<std::string, int> placeLines;  // where each place and each name was given
    std::map<std::string, int> nameLines;
    // An editor may open the file with a byte-order mark, which would stick to the first place.
    std::istringstream in(text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = Trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        const auto end = line.find_first_of(kBlank);
        const std::string place = line.substr(0, end);
        const std::string name = end == std::string::npos ? "" : Trimmed(line.substr(end));
        const std::string at = "line " + std::to_string(number) + ": ";
        if (name.empty()) {
            error = at + "the place " + place + " has no name after it";
            return false;
        }
        if (const auto seen = placeLines.find(place); seen != placeLines.end()) {
            error = at + "the place " + place + " is named on line " +
                    std::to_string(seen->second) + " already";
            return false;
        }
        if (const auto seen = nameLines.find(name); seen != nameLines.end()) {
            error = at + "the name \"" + name + "\" is given to another place on line " +
                    std::to_string(seen->second) + " already";
            return false;
        }
        placeLines[place] = nameLines[name] = number;
        names[place] = name;
    }
    names_ = std::move(names);
    return true;
}

bool SlotNames::Load(const std::string& fileName, std::string& error) {
    std::string text;
    std::string reason;
    bool tooLarge = false;
    if (!platform::ReadWholeFile(fileName, text, kMaxFileSize, reason, tooLarge)) {
        error = reason.empty() ? "There is no slot file " + fileName
                               : "The slot file " + fileName + " cannot be read: " + reason;
        return false;
    }
    if (Parse(text, error)) return true;
    error = "The slot file " + fileName + ", " + error;
    return false;
}

std::string SlotNames::NameOf(const std::string& place) const {
    const auto it = names_.find(place);
    return it == names_.end() ? std::string() : it->second;
}
