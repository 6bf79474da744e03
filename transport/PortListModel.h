// What the window's port drop-down shows and which of its buttons apply, decided without a
// widget: the window only draws it, and `ports --watch` follows the list by the same rule.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/PortEntries.h"

class PortListModel {
public:
    // The remembered port ("Port"). The read stores `defaultName` when nothing is remembered,
    // so it is asked only when there is a first entry to offer.
    using ReadPort = std::function<std::string(const std::string& defaultName)>;
    using WritePort = std::function<void(const std::string& name)>;

    PortListModel(ReadPort readPort, WritePort writePort);

    // Takes the ports present now, COM first. True when the list was rebuilt (and the host
    // must rebuild its widget); false when it is unchanged and nothing at all moved. `force`
    // rebuilds an unchanged list too.
    bool Fill(const PortEntries& fresh, bool force);
    // Ports to select, in this order, when the remembered one is not listed (and to offer
    // when none is remembered), before the first entry: names, or folders whose entries
    // count (the virtual ports a developer or a bench names, such as the simulator's).
    void Prefer(std::vector<std::string> names) { preferred_ = std::move(names); }
    // The user picked item `index`, or the drop-down has no selection (so does an index
    // outside the list).
    void Pick(std::optional<int> index);

    const PortEntries& Entries() const { return entries_; }
    int Count() const { return entries_.Count(); }
    std::string ItemText(int i) const;
    std::optional<int> Selected() const { return selected_; }
    // The selected entry's name and device ID; none while nothing is selected.
    std::optional<std::string> SelectedName() const;
    std::optional<std::string> SelectedDeviceId() const;
    bool SearchEnabled() const { return searchEnabled_; }
    // Only a port with a device ID has properties to show.
    bool PortPropEnabled() const { return portPropEnabled_; }

private:
    // The entry selected when the remembered port is not among `fresh`.
    int Fallback(const PortEntries& fresh) const;

    ReadPort readPort_;
    WritePort writePort_;
    std::vector<std::string> preferred_;
    PortEntries entries_;
    std::optional<int> selected_;
    bool searchEnabled_ = false;
    bool portPropEnabled_ = false;
};
