// The port drop-down's rules: which item a list selects, when "Port" is written, which buttons
// apply, and that an unchanged list leaves alone whatever the user did with it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "transport/PortListModel.h"

namespace {

PortEntries List(const std::vector<std::vector<std::string>>& rows) {
    PortEntries l;
    for (const auto& r : rows)
        l.Add(r[0], r[1], r[2]);
    return l;
}

TEST(PortListModel, SelectsTheRememberedPortAndRebuildsOnlyAChangedList) {
    const PortEntries two = List({{"COM1", "Serial", ""}, {"COM4", "Modem", "ID4"}});
    const PortEntries three =
        List({{"COM1", "Serial", ""}, {"COM4", "Modem", "ID4"}, {"USB:A1B2C3D4", "Adapter", ""}});
    const PortEntries newDesc =
        List({{"COM1", "Serial", ""}, {"COM4", "Modem 2", "ID4"}, {"USB:A1B2C3D4", "Adapter", ""}});
    const PortEntries newId =
        List({{"COM1", "Serial", ""}, {"COM4", "Modem 2", ""}, {"USB:A1B2C3D4", "Adapter", ""}});
    const PortEntries gone = List({{"COM1", "Serial", "ID1"}, {"USB:A1B2C3D4", "Adapter", ""}});
    const PortEntries twins = List({{"COM4", "A", ""}, {"COM4", "B", "ID"}});
    enum Op { Fill, ForceFill, Pick };
    const struct {
        Op op;
        PortEntries list;
        std::optional<int> pick;
        bool rebuilt;
        std::optional<int> selected;
        bool search, portProp;
        std::optional<std::string> port;
    } steps[] = {
        {ForceFill, {}, {}, true, {}, false, false, {}},  // nothing offered, nothing stored
        {Fill, two, {}, true, 0, true, false, "COM1"},    // first run: the first is remembered
        {Pick, {}, 1, false, 1, true, true, "COM4"},
        {Fill, two, {}, false, 1, true, true, "COM4"},
        {Pick, {}, {}, false, {}, false, true, "COM4"},
        {Fill, two, {}, false, {}, false, true, "COM4"},  // a rebuild would select and enable
        {Fill, three, {}, true, 1, true, true, "COM4"},
        {Fill, newDesc, {}, true, 1, true, true, "COM4"},
        {Fill, newId, {}, true, 1, true, false, "COM4"},
        {Fill, gone, {}, true, 0, true, true, "COM4"},  // gone for now, still remembered
        {Fill, twins, {}, true, 1, true, true, "COM4"},
        {Fill, {}, {}, true, {}, false, true, "COM4"},  // the properties button stays
    };
    std::optional<std::string> port;
    // As the window's store does, reading a missing "Port" stores the default offered.
    PortListModel model(
        [&](const std::string& defaultName) { return *(port = port.value_or(defaultName)); },
        [&](const std::string& name) { port = name; });
    int n = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE("step " + std::to_string(n++));
        bool rebuilt = false;
        if (s.op == Pick)
            model.Pick(s.pick);
        else
            rebuilt = model.Fill(s.list, s.op == ForceFill);
        EXPECT_EQ(rebuilt, s.rebuilt);
        EXPECT_EQ(model.Selected(), s.selected);
        EXPECT_EQ(model.SearchEnabled(), s.search);
        EXPECT_EQ(model.PortPropEnabled(), s.portProp);
        EXPECT_EQ(port, s.port);
    }
}

// The ports a developer's script names (CONFIGURATOR_PORTS: the simulator's pty, a bench's
// folder) are selected when the remembered one is not listed, and offered first on a first
// start; a remembered port that is listed still wins.
TEST(PortListModel, PrefersTheNamedPortsOverTheFirstEntry) {
    const PortEntries listed = List({{"/dev/ttyS0", "Serial", "ID0"},
                                     {"/dev/pts/3", "virtual port", ""},
                                     {"/tmp/bench/a1", "virtual port", ""}});
    const struct {
        std::vector<std::string> preferred;
        std::optional<std::string> remembered;
        int selected;
        std::string stored;
    } cases[] = {
        {{"/dev/pts/3"}, std::nullopt, 1, "/dev/pts/3"},
        {{"/dev/pts/3"}, "/dev/ttyUSB9", 1, "/dev/ttyUSB9"},  // gone: still remembered
        {{"/dev/pts/3"}, "/dev/ttyS0", 0, "/dev/ttyS0"},
        {{"/nowhere", "/tmp/bench"}, std::nullopt, 2, "/tmp/bench/a1"},
        {{"/tmp/ben"}, std::nullopt, 0, "/dev/ttyS0"},  // a folder's entries, not a prefix
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preferred.back());
        std::optional<std::string> port = c.remembered;
        PortListModel model(
            [&](const std::string& defaultName) { return *(port = port.value_or(defaultName)); },
            [&](const std::string& name) { port = name; });
        model.Prefer(c.preferred);
        model.Fill(listed, true);
        EXPECT_EQ(model.Selected(), c.selected);
        EXPECT_EQ(port, c.stored);
    }
}

}  // namespace
