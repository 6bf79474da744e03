#include "sim/SimConfig.h"

#include <cctype>

std::string SimConfig::CompanyPrefix(const std::string& company, const std::string& suffix) {
    std::string text = "!";
    for (const char c : company)
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text + suffix;
}
