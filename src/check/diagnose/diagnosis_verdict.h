#pragma once

#include <string>

#include "check/diagnose/diagnosis_report.h"

// The one verdict of a diagnosis: the first that applies, in the order a
// start meets them: a refused configuration (exit 1), another copy
// installing now (2), a whole installation (0, with what a new one would
// meet when the replay failed), a folder that cannot be written (1), then
// the replay's first error in the shortcut's order: a failed request named
// by its cause (network-name, network-connect, network-timeout, clock-wrong,
// certificate-untrusted, server-status, disk-space when a write ran out of
// space), file-held for a step that gave up on a file another program held
// (before the codes the hold would cause, which the replay drops), the
// release check's own code otherwise, launcher-removed for a
// launcher.exe unpacked and gone at once, disk-space for an unpack that
// filled the volume or too little free space; else would-install (0).
// Messages are UTF-8 and name the install folder from %USERPROFILE%.
Verdict DecideVerdict(const DiagnosisReport& report);

// The failed request behind the replay's first error when its failure is a
// refused certificate; nullptr otherwise. Its URL is where the second look
// goes.
const RequestReport* RefusedCertificateRequest(const ReleaseReport& replay);

// "2031-05-04 10:00:00 UTC" for seconds since 1970.
std::string UtcText(int64_t seconds);
