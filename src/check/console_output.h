#pragma once

#include <windows.h>

#include <string>

// Writes UTF-8 text to the standard handle `which` (STD_OUTPUT_HANDLE or
// STD_ERROR_HANDLE): as UTF-16 to a console, as the UTF-8 bytes themselves to
// a file or pipe. False when there is no such handle or a write fails.
bool WriteStd(DWORD which, const std::string& utf8);
