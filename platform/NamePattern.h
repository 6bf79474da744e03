// A port name against a shell-style pattern ("/dev/ttyUSB*", "COM?"), as the system's own
// shells and file dialogs match names.
#pragma once

#include <string>

namespace platform {

bool MatchesPattern(const std::string& pattern, const std::string& name);

}  // namespace platform
