#pragma once

#include <string>

#include "check/diagnose/diagnosis_report.h"

// The diagnosis as lines for a person, UTF-8, each ending in "\n": the
// installation, the machine, the game folder when given, the replay's facts
// and findings as the release check writes them, the certificate look when
// one was taken, and last "verdict [<code>]: <message>". Paths stand as
// given; the caller takes the user's names out.
std::string DiagnosisTextReport(const DiagnosisReport& report);

// The diagnosis as one JSON object, UTF-8, ending in "\n":
// "installation" ("folder", "state", "version" (temp\version.dat's text, null
// when unreadable), "extractor" ("pinned", "other" or null when absent),
// "lock_held"); "machine" ("windows" ("major", "minor", "build"),
// "ui_language" (the name, such as "fr-FR"), "ui_language_id" (the LANGID),
// "message_language" ("English" or "French"), "userprofile_set",
// "install_path_length" (UTF-16 units), "install_path_non_ascii",
// "free_bytes" (null when unknown), "proxy" ("auto_detect", "script",
// "server", the last two null when not set)); "game" (null without a game
// folder: "folder", "valid", "refusal"); "unwritable" (null, or "folder" and
// "error"); "host"; "replay" (null when it could not run, else the release
// check's object); "certificate" (null when no certificate was refused:
// "url", "issuer", "subject", "not_before", "not_after", "server_date" and
// "local_date", times as "YYYY-MM-DD hh:mm:ss UTC", null when unknown);
// "seconds"; "verdict" ("code", "message").
std::string DiagnosisJsonReport(const DiagnosisReport& report);
