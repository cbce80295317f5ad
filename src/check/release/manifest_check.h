#pragma once

#include <string>

#include "check/release/release_report.h"

// Reads the "version" and "sha256" of `manifest` (the bytes a player's
// shortcut gets) as the shortcut does, into `report.version` and
// `report.sha256` and `report.size`, and adds the manifest's findings: no "version" the
// shortcut can read (error: every installation stops there), a JSON reader
// that sees another or no top-level "version" (warning), text that is not
// JSON at all (warning), and `withKeys`, no "sha256" of 64 lowercase hex
// digits or no "size" of 1 to 20 decimal digits (errors: a signed shortcut
// stops there). `where` names the manifest in messages.
void CheckManifest(const std::string& manifest, const std::string& where, bool withKeys,
                   ReleaseReport& report);
