// The one setting the adapter control writes ("Mode"): the window stores it with its other
// settings, the command line keeps none.
#pragma once

#include <string>

#include "base/Bytes.h"

class SettingsWriter {
public:
    virtual ~SettingsWriter() = default;
    virtual void WriteRegStr(const std::string& name, const Bytes& value) = 0;
};
