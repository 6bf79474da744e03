// What the command line prints of the adapter: the status strip's fields and the mode list,
// as "Label: value" lines or as one JSON object. Adapter texts are shown as UTF-8.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "control/AdapterModel.h"

struct CliApp;

nlohmann::json AdapterJson(const AdapterModel& model);
void PrintAdapterText(std::ostream& out, const AdapterModel& model);
// Text on stdout, or the run's JSON result, as the --json option asks.
void ReportAdapter(CliApp& cli, const AdapterModel& model);
