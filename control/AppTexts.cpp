#include "control/AppTexts.h"

#include "control/AdapterProtocol.h"
#include "platform/VersionInfo.h"

const std::string& AppProductName() {
    static const std::string name = platform::GetVersionValue("ProductName");
    return name;
}

const std::string& AppCompanyName() {
    static const std::string name = platform::GetVersionValue("CompanyName");
    return name;
}

const Bytes& SpecialCommandText() {
    static const Bytes text = BuildSpecialCommandText(AppCompanyName());
    return text;
}

std::string AppTitle() {
    return AppProductName() + " " + platform::GetVersionValue("InternalName") + " Version " +
           platform::GetVersionValue("FileVersion");
}
