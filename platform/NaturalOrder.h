// Names as a person sorts them: ttyUSB2 before ttyUSB10, "Slot 9" before "Slot 10" (runs of
// digits compare by their value).
#pragma once

#include <string>

namespace platform {

bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace platform
