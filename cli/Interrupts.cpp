#include "cli/Interrupts.h"

#include <csignal>

namespace {
volatile std::sig_atomic_t g_raised = 0;

extern "C" void OnSignal(int sig) {
    g_raised = 1;
    // A second Ctrl-C stops the program outright, should the first one go unnoticed.
    std::signal(sig, SIG_DFL);
}
}  // namespace

Interrupts::Interrupts() {
    g_raised = 0;
    previousInt_ = std::signal(SIGINT, OnSignal);
    previousTerm_ = std::signal(SIGTERM, OnSignal);
}

Interrupts::~Interrupts() {
    std::signal(SIGINT, previousInt_ == SIG_ERR ? SIG_DFL : previousInt_);
    std::signal(SIGTERM, previousTerm_ == SIG_ERR ? SIG_DFL : previousTerm_);
}

bool Interrupts::Raised() {
    return g_raised != 0;
}
