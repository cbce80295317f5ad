#pragma once

#include <string>

#include "check/diagnose/diagnosis_report.h"

// The facts of this machine a support team asks for first: the Windows
// version and build, the UI language and the language of the player's
// messages (the shortcut's own rule), whether USERPROFILE is set, the
// install folder path's length and whether it leaves ASCII, the free space
// of its volume (measured at the nearest folder that exists), and the proxy
// settings Windows keeps for the current user in the registry. Reads only.
MachineFacts ReadMachineFacts(const std::wstring& installDir);

// The nearest folder of `path` that exists: `path` itself, or the first of
// its parents that does; empty when none does.
std::wstring NearestExistingFolder(const std::wstring& path);
