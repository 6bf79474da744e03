// The names a bench gives its places ("Slot 1" for a hub port), read from a file of one place
// and its name a line:
//
//     # hub on the left
//     pci-0000:00:14.0-usb-0:2.3:1.0  Slot 1
//
// The place comes first, then white space, then the name: the rest of the line, spaces and all.
// Blank lines and lines that begin with # are left out. A place or a name given twice, or a
// place without a name, refuses the file: two units recorded under one slot would be as wrong
// as a slot named after the wrong hub port.
#pragma once

#include <map>
#include <string>

class SlotNames {
public:
    // Takes the text of a slot file. False, with `error` saying which line and why, when a
    // line is refused; the names are then left as they were.
    bool Parse(const std::string& text, std::string& error);
    // Reads and parses the file `fileName`; `error` also tells a file that cannot be read.
    bool Load(const std::string& fileName, std::string& error);

    // The name of `place`; "" when the file does not name it.
    std::string NameOf(const std::string& place) const;
    std::size_t Count() const { return names_.size(); }

private:
    std::map<std::string, std::string> names_;  // by place
};
