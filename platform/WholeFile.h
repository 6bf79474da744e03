// Reading a firmware or change-mode file whole, opened so that no other program may hold it
// meanwhile (the file is read only while nobody else is writing it).
#pragma once

#include <string>

#include "base/Bytes.h"

namespace platform {

// False when the file cannot be opened exclusively, its size cannot be found or the read
// fails; `data` then keeps its old content.
bool ReadWholeFile(const std::string& fileName, Bytes& data);

}  // namespace platform
