#pragma once

#include <string>

#include "check/release/release_report.h"

// The release report as lines for a person, UTF-8, each ending in "\n".
std::string ReleaseTextReport(const ReleaseReport& report);

// "1.23 s": a duration as the text reports write it.
std::string Seconds(double seconds);

// ReleaseTextReport without its last line, the "result:" that judges the
// findings: the facts and the findings alone, for a report that judges them
// itself.
std::string ReleaseTextFacts(const ReleaseReport& report);

// The release report as one JSON object, UTF-8, ending in "\n": "release"
// and "host" (null when not given); "manifest" ("source", "bytes", "version",
// "sha256", "request"); "signature" (null without --key and without a
// signature file in the folder: "source", "bytes", "within_limits", "keys"
// (a list of "fingerprint" and "source"), "lines" (a list of "text",
// "well_formed" and "key", the fingerprint of the key it verifies under),
// "verified" (null when nothing was verified) and "request"); "archive" ("source", "bytes",
// "sha256", "request") and "extractor" ("source", "sha256", "pinned", "request"); "unpacked" (null
// when 7zr.exe did not run; "exit_code", "seconds", and after exit code 0
// "files", "bytes", "top_level"); "disk_bytes_needed"; "held_file" (null
// unless a step gave up on a file another program held: "path", "step",
// "waited_ms"); "scratch_left" (the scratch folder when it could not be
// removed, else null); "seconds"; and
// "findings", a list of "code", "severity" ("error" or "warning") and
// "message". A request is null when none was made, else "url", "final_url",
// "status", "content_length" and "content_encoding" (header texts),
// "bytes", "seconds" and "failure" (null when it succeeded). Unknown
// values are null.
std::string ReleaseJsonReport(const ReleaseReport& report);
