#include "control/AdapterProtocol.h"

Bytes BuildSpecialCommandText(const std::string& companyName) {
    Bytes text = "!";
    for (char c : companyName)
        text += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return text + SpecialCommandSuffix;
}

CommandPrefixes MakeCommandPrefixes(const Bytes& specialCommandText) {
    return {Bytes(kFirstCommandPrefix), specialCommandText};
}
