#pragma once

#include <string>

// Installs the launcher into `installDir` (no trailing backslash): creates the
// folders, fetches the version manifest and the archive (publishing the
// archive's progress), reuses or fetches and verifies lib\7zr.exe, extracts,
// checks launcher.exe and records temp\version.dat. Returns true when
// launcher.exe is in place. Shows nothing; worker thread; blocks throughout.
bool InstallLauncher(const std::wstring& installDir);
