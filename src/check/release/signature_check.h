#pragma once

#include <string>

#include "check/release/release_check.h"
#include "check/release/release_report.h"

// The signature file a signed shortcut reads after the manifest: from
// `inputs.host` as the shortcut fetches it (compared with the release
// folder's when both are given), else from `inputs.folder`. With keys, each
// line is verified over the exact bytes of `manifest` (when
// `report.manifestRead`) by the shortcut's own code, and a file the shortcut
// would not accept is an error. Without keys, the host is not asked (an
// unsigned shortcut never asks it) and a folder's file is only listed.
// Fills the report's signature fields and findings. Blocks for the download.
void CheckSignatureSource(const ReleaseInputs& inputs, const std::string& manifest,
                          ReleaseReport& report);
