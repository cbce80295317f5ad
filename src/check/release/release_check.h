#pragma once

#include <string>

#include <vector>

#include "check/release/release_keys.h"
#include "check/release/release_report.h"

// What the release check is given; paths without a trailing separator.
struct ReleaseInputs {
  std::wstring folder;     // holds launcher\version.json and launcher\launcher.7z; empty: none
  std::wstring host;       // the product download host to fetch them from; empty: none
  std::wstring extractor;  // a 7zr.exe to unpack with; empty: the extractor host's
  std::vector<ReleaseKey> keys;  // decide as a shortcut pinning them; none: unsigned
  std::wstring scratchParent;    // where the scratch folder goes; empty: the temporary folder
};

// Follows a player's first installation with the shortcut's own code, into a
// scratch folder that is removed before this returns (files in it that
// another program still holds are waited for, 10 s at most, and
// `report.scratchLeft` names the folder when it stays): the manifest and the
// archive from `inputs.host` (compared with `inputs.folder` when both are
// given) or from `inputs.folder`, with keys the signature file beside the
// manifest, verified as a signed shortcut verifies it, 7zr.exe from `inputs.extractor` or the
// extractor host, never run unless it has the pinned digest, and the archive
// unpacked and judged. Each step on a file waits for a held file as the
// shortcut's does, charged to the process's budget (one check per
// process); the first that gives up is `report.heldFile` and the error
// file-held, in place of what the hold would otherwise cause. Fills
// `report` with the facts and the findings.
// Returns false only when no scratch folder can be made (nothing checked),
// with Windows' error in `*scratchError` when given. Blocks for the
// downloads and the extraction.
bool CheckRelease(const ReleaseInputs& inputs, ReleaseReport& report,
                  unsigned long* scratchError = nullptr);
