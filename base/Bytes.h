// Serial data and file content travel as length-counted byte strings that may hold zeros.
#pragma once

#include <string>

using Bytes = std::string;
