#pragma once

#include <string>

#include "check/release/release_report.h"

// After a replay step that waits for held files: true when it gave up on one
// (LastHeldFileGiveUp, a read-only file's refused delete excepted), which it
// then clears. The first give-up of the replay goes into `report.heldFile`
// (its path also relative to `installDir`, the stand-in install folder) and
// becomes the error file-held; the caller drops the findings that would
// follow from the give-up (an empty digest, an extractor that did not start,
// a marker left), which would blame the release for what this machine's
// security software did.
bool GaveUpOnHeldFile(const std::wstring& installDir, ReleaseReport& report);
