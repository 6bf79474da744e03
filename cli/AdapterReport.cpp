#include "cli/AdapterReport.h"

#include <iomanip>
#include <iostream>

#include "cli/CliApp.h"

#include "platform/CodePage.h"

namespace {
using platform::Cp1251ToUtf8;

struct TextField {
    const char* label;
    const char* key;
    Bytes AdapterIdentity::*field;
};
// In the order of the status strip.
constexpr TextField kFields[] = {
    {"Signature:", "signature", &AdapterIdentity::Signature},
    {"Serial Number:", "serialNumber", &AdapterIdentity::SerialNumber},
    {"Hardware:", "hardware", &AdapterIdentity::Hardware},
    {"Firmware:", "firmware", &AdapterIdentity::Firmware},
    {"Copyright:", "copyright", &AdapterIdentity::Copyright},
    {"Bootware:", "bootware", &AdapterIdentity::Bootware},
};
}  // namespace

nlohmann::json AdapterJson(const AdapterModel& model) {
    nlohmann::json identity = nlohmann::json::object();
    for (const TextField& f : kFields)
        if (!(model.Identity.*f.field).empty())
            identity[f.key] = Cp1251ToUtf8(model.Identity.*f.field);
    if (model.Visible(Control::cbPower)) identity["extPower"] = model.Identity.ExtPowerOn;
    if (model.Visible(Control::edPower))
        identity["supplyVoltage"] = Cp1251ToUtf8(model.Identity.SupplyVoltage);
    nlohmann::json modes = nlohmann::json::array();
    nlohmann::json current = nullptr;
    for (const ModeRow& row : model.Modes) {
        modes.push_back({{"number", Cp1251ToUtf8(row.Caption)},
                         {"id", Cp1251ToUtf8(row.Id)},
                         {"description", Cp1251ToUtf8(row.Description)},
                         {"current", row.StateIcon == 0}});
        if (row.StateIcon == 0) current = Cp1251ToUtf8(row.Id);
    }
    return {{"identity", identity}, {"modes", modes}, {"currentMode", current}};
}

void PrintAdapterText(std::ostream& out, const AdapterModel& model) {
    for (const TextField& f : kFields)
        if (!(model.Identity.*f.field).empty())
            out << f.label << ' ' << Cp1251ToUtf8(model.Identity.*f.field) << '\n';
    if (model.Visible(Control::cbPower))
        out << "Ext. Power: " << (model.Identity.ExtPowerOn ? "on" : "off") << '\n';
    if (model.Visible(Control::edPower))
        out << "Supply Voltage: " << Cp1251ToUtf8(model.Identity.SupplyVoltage) << " V\n";
    if (model.Modes.empty()) return;
    out << "Modes:\n";
    for (const ModeRow& row : model.Modes) {
        out << (row.StateIcon == 0 ? "* " : "  ") << Cp1251ToUtf8(row.Caption) << "  " << std::left
            << std::setw(3) << Cp1251ToUtf8(row.Id) << "  " << Cp1251ToUtf8(row.Description)
            << '\n';
    }
}

void ReportAdapter(CliApp& cli, const AdapterModel& model) {
    if (cli.options.json)
        cli.result = AdapterJson(model);
    else
        PrintAdapterText(std::cout, model);
}
