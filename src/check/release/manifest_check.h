#pragma once

#include <string>

#include "check/release/release_report.h"

// Reads the "version" of `manifest` (the bytes a player's shortcut gets) as
// the shortcut does, into `report.version`, and adds the manifest's findings:
// no value the shortcut can read (error: every installation stops there), a
// JSON reader that sees another or no top-level "version" (warning), text
// that is not JSON at all (warning). `where` names the manifest in messages.
void CheckManifest(const std::string& manifest, const std::string& where, ReleaseReport& report);
