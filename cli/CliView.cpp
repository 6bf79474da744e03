#include "cli/CliView.h"

#include <cstdio>

#include "platform/CodePage.h"

std::optional<PortChoice> CliView::SelectedPort() {
    if (device_.empty()) return std::nullopt;
    return PortChoice{device_, shown_, ""};
}

void CliView::LogAppended(LogId log, const Bytes& text) {
    if (log != LogId::Test || !streamTest_) return;
    const std::string shown = platform::Cp1251ToUtf8(text);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fflush(stdout);
}

void CliView::OperationEnded() {
    if (onEnded_) onEnded_();
}
