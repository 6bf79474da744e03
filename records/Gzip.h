// A unit's line trace is kept with its record compressed: text of hex bytes shrinks to a few
// per cent, and the gzip format lets a user take a blob out and read it with zcat.
#pragma once

#include <cstddef>
#include <string>

namespace gzip {

// False only when zlib fails (out of memory).
bool Compress(const std::string& text, std::string& out);
// False for data that is not whole gzip, or that would come to more than `limit` bytes.
bool Decompress(const std::string& data, std::string& out, std::size_t limit);

}  // namespace gzip
