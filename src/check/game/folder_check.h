#pragma once

#include <string>

#include "check/game/check_report.h"

// What the shortcut placed in `gameFolder` would do for the current user, and
// the warnings for its developer: the configuration read, scanned and judged
// by the shortcut's own functions, the window title, the launcher command
// line, the artwork and its placement. Reads files only; GDI+ must be running.
CheckReport CheckGameFolder(const std::wstring& gameFolder);
