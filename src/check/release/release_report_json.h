#pragma once

#include <nlohmann/json.hpp>

#include "check/release/release_report.h"

// The object ReleaseJsonReport writes (see release_report_writers.h), for a
// report that holds it among its own fields.
nlohmann::ordered_json ReleaseJsonObject(const ReleaseReport& report);

// `text` as a JSON string, or null when it is empty.
nlohmann::ordered_json TextOrNull(const std::string& text);
