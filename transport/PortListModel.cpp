#include "transport/PortListModel.h"

#include <utility>

PortListModel::PortListModel(ReadPort readPort, WritePort writePort)
    : readPort_(std::move(readPort)), writePort_(std::move(writePort)) {}

bool PortListModel::Fill(const PortEntries& fresh, bool force) {
    // Rebuilding an unchanged list would drop the user's pick for the remembered port.
    if (!force && fresh == entries_) return false;
    entries_.Clear();
    selected_.reset();
    if (fresh.Count() > 0) {
        const int fallback = Fallback(fresh);
        const std::string saved = readPort_(fresh.names[fallback]);
        entries_ = fresh;
        // Several entries of the remembered name: the last one is kept.
        for (int i = 0; i < entries_.Count(); ++i)
            if (entries_.names[i] == saved) selected_ = i;
        // A remembered port that is gone stays remembered: it may come back.
        if (!selected_) selected_ = fallback;
        portPropEnabled_ = !entries_.ids[*selected_].empty();
    }
    // An empty list leaves the properties button as it was.
    searchEnabled_ = entries_.Count() > 0;
    return true;
}

int PortListModel::Fallback(const PortEntries& fresh) const {
    for (const std::string& wanted : preferred_) {
        if (wanted.empty()) continue;
        for (int i = 0; i < fresh.Count(); ++i) {
            const std::string& name = fresh.names[i];
            if (name == wanted || name.rfind(wanted + "/", 0) == 0) return i;
        }
    }
    return 0;
}

void PortListModel::Pick(std::optional<int> index) {
    if (index && (*index < 0 || *index >= Count())) index.reset();
    selected_ = index;
    if (!index) {
        searchEnabled_ = false;
        return;
    }
    writePort_(entries_.names[*index]);
    portPropEnabled_ = !entries_.ids[*index].empty();
}

std::string PortListModel::ItemText(int i) const {
    return entries_.names[i] + " (" + entries_.descs[i] + ")";
}

std::optional<std::string> PortListModel::SelectedName() const {
    if (!selected_) return std::nullopt;
    return entries_.names[*selected_];
}

std::optional<std::string> PortListModel::SelectedDeviceId() const {
    if (!selected_) return std::nullopt;
    return entries_.ids[*selected_];
}
