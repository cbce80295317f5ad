#pragma once

#include <string>

#include "common/held_file_patience.h"

// File steps of an installation that wait while another process holds the
// file, by the rule of held_file_patience.h, charged to `budget`.

// DeleteFileW on `path`, tried again while the file is held. False, with
// DeleteFileW's error in GetLastError(), when the file could not be deleted
// (a missing file included: it fails at once); a read-only file fails at
// once with ERROR_FILE_READ_ONLY.
bool DeleteFileWhileHeld(const std::wstring& path,
                         HeldFileBudget& budget = ProcessHeldFileBudget());

// Opens `path` as 7-Zip opens an archive it unpacks (reading, sharing reads)
// and closes it at once, tried again while the file is held that way. True
// when it opened; false otherwise, without changing anything.
bool WaitUntilArchiveOpens(const std::wstring& path,
                           HeldFileBudget& budget = ProcessHeldFileBudget());
