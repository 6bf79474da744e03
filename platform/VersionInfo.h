// The program's own version strings (product, internal name, version, company, copyright,
// web and support addresses): a table built in here, the version resource on Windows.
#pragma once

#include <string>

namespace platform {

// The named string, or empty text when there is none.
std::string GetVersionValue(const std::string& name);

}  // namespace platform
