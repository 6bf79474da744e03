// PLACEHOLDER until the sysfs source lands: lists the virtual ports of CONFIGURATOR_PORTS.
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

#include "transport/ComPortSource.h"

namespace {
class EnvPortSource : public ComPortSource {
public:
    Outcome Pass(PortEntries& entries) override {
        PortEntries found;
        if (const char* env = std::getenv("CONFIGURATOR_PORTS")) {
            std::stringstream ss(env);
            std::string path;
            struct stat st;
            while (std::getline(ss, path, ':'))
                if (!path.empty() && ::stat(path.c_str(), &st) == 0)
                    found.Add(path, "virtual port", "");
        }
        if (found == entries) return Outcome::Unchanged;
        entries = std::move(found);
        return Outcome::Rebuilt;
    }
};
}  // namespace

std::unique_ptr<ComPortSource> MakePlatformComPortSource() {
    return std::make_unique<EnvPortSource>();
}
