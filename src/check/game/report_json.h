#pragma once

#include <string>

#include "check/game/check_report.h"

// The report as one JSON object, UTF-8, ending in "\n": "valid", "slug",
// "title", "command_line", "splash" and "title_image" (null, or "file",
// "width", "height" and "drawn" as [x, y, width, height]), "preview" (null,
// or "first_frame" and "installing", the pictures' paths), and "warnings"
// (a list of objects with "code" and "message"). "slug" is null when there is
// none; "title" and "command_line" are null when the configuration is refused.
std::string JsonReport(const CheckReport& report);
