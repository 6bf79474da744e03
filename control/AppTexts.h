// The application-wide texts taken once from the program's version strings.
#pragma once

#include <string>

#include "base/Bytes.h"

// "ProductName"; empty when absent.
const std::string& AppProductName();
// "CompanyName"; empty when absent.
const std::string& AppCompanyName();
// The second command prefix: "!" + upper-cased company name + SpecialCommandSuffix.
const Bytes& SpecialCommandText();
// "Korvanta Configurator Version 1.7.0.8": the window title and the message box title.
std::string AppTitle();
