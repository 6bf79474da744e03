// The present ports as three parallel text lists (name, description, device ID): entry i is
// item i of each list, and an entry is added to all three or to none. Beside them, where each
// port is plugged in (platform/PortPlace.h), kept out of the three that the window shows.
#pragma once

#include <string>
#include <vector>

using TextList = std::vector<std::string>;

struct PortEntries {
    TextList names;
    TextList descs;
    TextList ids;
    TextList places;  // "" where unknown; a source that fills only the three leaves it short

    void Add(std::string name, std::string desc, std::string id, std::string place = {}) {
        places.resize(names.size());
        names.push_back(std::move(name));
        descs.push_back(std::move(desc));
        ids.push_back(std::move(id));
        places.push_back(std::move(place));
    }
    void Clear() {
        names.clear();
        descs.clear();
        ids.clear();
        places.clear();
    }
    int Count() const { return static_cast<int>(names.size()); }
    // Appends every entry to the caller's lists; returns the number appended.
    int AppendTo(TextList& n, TextList& d, TextList& i) const {
        n.insert(n.end(), names.begin(), names.end());
        d.insert(d.end(), descs.begin(), descs.end());
        i.insert(i.end(), ids.begin(), ids.end());
        return Count();
    }
    // Appends every entry, places included; returns the number appended.
    int AppendTo(PortEntries& out) const {
        out.places.resize(out.names.size());
        AppendTo(out.names, out.descs, out.ids);
        for (int i = 0; i < Count(); ++i)
            out.places.push_back(PlaceAt(i));
        return Count();
    }
    std::string PlaceAt(int i) const {
        return i >= 0 && static_cast<std::size_t>(i) < places.size() ? places[i] : std::string();
    }
    // The place of the first entry named `name`; "" when there is none.
    std::string PlaceOf(const std::string& name) const {
        for (int i = 0; i < Count(); ++i)
            if (names[i] == name) return PlaceAt(i);
        return {};
    }
    // A list left short of places is the same as one with "" for them.
    bool operator==(const PortEntries& other) const {
        if (names != other.names || descs != other.descs || ids != other.ids) return false;
        for (int i = 0; i < Count(); ++i)
            if (PlaceAt(i) != other.PlaceAt(i)) return false;
        return true;
    }
};
