// The settings store in tests: every write recorded.
#pragma once

#include <map>
#include <string>

#include "control/SettingsWriter.h"

class RecordingSettings : public SettingsWriter {
public:
    std::map<std::string, Bytes> values;
    void WriteRegStr(const std::string& name, const Bytes& value) override { values[name] = value; }
};
