// Adapter texts are single-byte code page 1251; hosts show them in their own encoding.
#pragma once

#include <string>

namespace platform {

// Code page 1251 bytes as UTF-8 text. Bytes the code page leaves undefined become U+FFFD.
std::string Cp1251ToUtf8(const std::string& bytes);

}  // namespace platform
