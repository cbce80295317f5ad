#pragma once

#include <string>

#include "check/release/release_report.h"

// Unpacks the archive at `installDir`\temp\launcher_install.7z with the
// verified `installDir`\lib\7zr.exe exactly as the shortcut does (its marker
// first, its command line, hidden, stdin the NUL device), its output going to `outputPath` (a
// file deleted when the last handle to it closes), then
// deletes the archive and the extractor and judges what is left by the
// shortcut's own tests: exit code 0, launcher.exe for the installation, and
// IsLauncherInstalled for every later start. Fills the unpack facts of
// `report` and adds its findings (archive-unreadable with 7-Zip's reason,
// archive-no-launcher and archive-no-pck naming the folder that holds the
// file, archive-has-marker). Blocks until 7zr.exe ends.
void UnpackArchive(const std::wstring& installDir, const std::wstring& outputPath,
                   ReleaseReport& report);

// Why 7zr.exe could not unpack, from its output (stdout and stderr) and the
// archive's first bytes: its "ERROR:" lines grouped by reason, or
// "it is encrypted" when it asked for a password. Never empty.
std::string UnpackFailureReason(const std::string& output, const std::string& firstBytes);
