// Reading a firmware or change-mode file whole, opened so that no other program may write it
// meanwhile; other readers are welcome (the file is read only while nobody is writing it).
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The content arrives as bytes in a string (zeros included).
// False when the file cannot be opened for shared reading (another program writes it), is not a
// regular file, holds more than `maxSize` bytes (nothing is read then) or the read fails; `data`
// then keeps its old content. `reason` says why in words that follow "cannot be read: ", and stays
// empty when there is no such file; `tooLarge` is set for a file over the bound.
bool ReadWholeFile(const std::string& fileName, std::string& data, std::size_t maxSize,
                   std::string& reason, bool& tooLarge);

}  // namespace platform
