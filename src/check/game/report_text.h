#pragma once

#include <string>

#include "check/game/check_report.h"

// The report as lines for a person, UTF-8, each ending in "\n". `folder` is
// the game folder as given on the command line (UTF-8).
std::string TextReport(const std::string& folder, const CheckReport& report);

// Shortest decimal text that reads back as exactly `value`: "0", "-50",
// "128.33333".
std::string CoordinateText(float value);
