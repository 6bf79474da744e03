// The present ports as three parallel text lists (name, description, device ID): entry i is
// item i of each list, and an entry is added to all three or to none.
#pragma once

#include <string>
#include <vector>

using TextList = std::vector<std::string>;

struct PortEntries {
    TextList names;
    TextList descs;
    TextList ids;

    void Add(std::string name, std::string desc, std::string id) {
        names.push_back(std::move(name));
        descs.push_back(std::move(desc));
        ids.push_back(std::move(id));
    }
    void Clear() {
        names.clear();
        descs.clear();
        ids.clear();
    }
    int Count() const { return static_cast<int>(names.size()); }
    // Appends every entry to the caller's lists; returns the number appended.
    int AppendTo(TextList& n, TextList& d, TextList& i) const {
        n.insert(n.end(), names.begin(), names.end());
        d.insert(d.end(), descs.begin(), descs.end());
        i.insert(i.end(), ids.begin(), ids.end());
        return Count();
    }
    bool operator==(const PortEntries&) const = default;
};
