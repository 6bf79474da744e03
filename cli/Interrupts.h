// Ctrl-C and SIGTERM for a command that runs until told to stop: the handlers only set a flag
// that the command's loop looks at, and a second signal stops the program outright. While an
// Interrupts lives it holds the signals; the handlers that were there before come back after.
#pragma once

class Interrupts {
public:
    Interrupts();
    ~Interrupts();
    Interrupts(const Interrupts&) = delete;
    Interrupts& operator=(const Interrupts&) = delete;

    // A signal came since the last Interrupts was made.
    static bool Raised();

private:
    void (*previousInt_)(int) = nullptr;
    void (*previousTerm_)(int) = nullptr;
};
