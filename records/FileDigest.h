// The SHA-256 of a firmware or mode file, so that a record says exactly which content a unit
// got (file names are reused; contents are not), and "already done" compares contents.
#pragma once

#include <string>

// The lower-case hex SHA-256 of the file's content; false with the system's reason in `error`
// when it cannot be read.
bool FileSha256(const std::string& path, std::string& hex, std::string& error);

// The lower-case hex SHA-256 of `data` (bytes in a string): of what a station writes, which
// is what it read at its start even when the file is replaced meanwhile. "" only when OpenSSL
// has no SHA-256.
std::string BytesSha256(const std::string& data);
