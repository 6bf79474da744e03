// Port lists whose COM worker finds nothing: for rigs that name their port themselves and
// must not scan the system's ports (nor start workers per device). One per process.
#pragma once

#include <memory>

#include "platform/ComPortSource.h"
#include "transport/PortLists.h"

class QuietComSource : public ComPortSource {
public:
    Outcome Pass(PortEntries&) override { return Outcome::Unchanged; }
};

inline std::shared_ptr<PortLists> QuietPortLists() {
    static const auto lists = std::make_shared<PortLists>(std::make_unique<QuietComSource>());
    return lists;
}
