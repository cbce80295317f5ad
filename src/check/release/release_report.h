#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/exit_codes.h"
#include "check/release/release_keys.h"

// One finding for the launcher's publisher: a stable short code (such as
// "archive-no-pck"), whether a player's installation fails or repeats because
// of it (error) or only works less well (warning), and one line in plain
// words. UTF-8.
struct ReleaseFinding {
  std::string code;
  bool error = true;
  std::string message;
};

// One HTTPS GET made as the shortcut makes it. Strings are UTF-8.
struct RequestReport {
  bool made = false;
  std::string url;              // https://host/path as asked
  std::string finalUrl;         // the URL that answered; differs after a redirect
  uint32_t status = 0;          // 0: no response
  std::string contentLength;    // header text; empty when absent
  std::string contentEncoding;  // header text; empty when absent
  uint64_t bytes = 0;           // body bytes received
  double seconds = 0;
  std::string failure;  // why the shortcut would fail this request; empty when it succeeds
  uint32_t error = 0;   // the platform's error of the call that failed (WinHTTP's 12xxx or a
                        // file error); 0 when none failed
};

// One non-blank line of the signature file and what it verifies as.
struct SignatureLineReport {
  std::string text;         // UTF-8, as the file has it without its line end
  bool wellFormed = false;  // the base64 of a DER ECDSA P-256 signature
  std::string key;          // fingerprint of the first key it verifies under; empty: none
};

// The first step of the replay that gave up on a file another process held
// past the wait (HeldFileGiveUp, in UTF-8): what the shortcut would then
// fail on at that machine, not in the release.
struct HeldFileReport {
  bool happened = false;
  std::string path;      // full
  std::string relative;  // below the stand-in install folder ("lib\7zr.exe"); empty outside it
  std::string step;      // HeldFileStepName: "hash", "start", "unpack", "delete"
  uint32_t waitedMs = 0;
};

// What the shortcut would make of a release and of the hosts serving it.
struct ReleaseReport {
  std::string releaseFolder;  // as given; empty without --release
  std::string host;           // empty without --host

  bool manifestRead = false;   // a manifest was read or downloaded
  std::string manifestSource;  // the file or URL it came from
  uint64_t manifestBytes = 0;
  std::string version;  // the "version" value as the shortcut scans it
  std::string sha256;   // the "sha256" value as the shortcut scans it; empty: none
  std::string size;     // the "size" value as the shortcut scans it; empty: none
  RequestReport manifestRequest;

  std::vector<ReleaseKey> keys;  // in order; none: signatures are not verified
  bool signatureRead = false;    // a signature file was read or downloaded
  std::string signatureSource;   // the file or URL; empty when none was looked for
  uint64_t signatureBytes = 0;
  bool signatureWithinLimits = false;  // its size and line count are ones the shortcut reads
  std::vector<SignatureLineReport> signatureLines;
  bool signatureChecked = false;   // the lines were verified over the manifest's bytes
  bool signatureVerified = false;  // and one of them verified under a key
  RequestReport signatureRequest;

  bool archiveRead = false;
  std::string archiveSource;
  uint64_t archiveBytes = 0;
  std::string archiveSha256;
  RequestReport archiveRequest;

  std::string extractorSource;  // the --extractor path, or the extractor host's URL
  std::string extractorSha256;  // empty when there was no file to hash
  bool extractorPinned = false;
  uint64_t extractorBytes = 0;
  RequestReport extractorRequest;

  bool unpackRan = false;     // 7zr.exe was started on the archive
  std::string unpackSkipped;  // why the archive was not unpacked on purpose; empty: it was not
  uint32_t unpackExitCode = 0;
  double unpackSeconds = 0;
  uint64_t unpackedFiles = 0;  // when it exited with 0
  uint64_t unpackedBytes = 0;
  std::vector<std::string> topLevel;  // entries at the top of the archive; folders end in "\"
  // No launcher.exe at the top after an unpack that wrote it (exit code 0, or
  // 7-Zip could not find it once written), and 7-Zip lists one there: it was
  // unpacked and then removed.
  bool launcherListed = false;
  uint64_t unpackFreeBytes = UINT64_MAX;  // free space on the volume as 7zr.exe ended
  // Free space one installation takes at its peak: the archive, the unpacked
  // files and 7zr.exe are all on disk before the archive is deleted.
  uint64_t diskBytesNeeded = 0;

  HeldFileReport heldFile;
  // The scratch folder when it could not be removed, because files in it
  // stayed held past the removal's own wait; empty when it was.
  std::string scratchLeft;

  double seconds = 0;  // the whole check
  std::vector<ReleaseFinding> findings;
};

// kExitRefused (1) when any finding is an error, else kExitWarnings (2) when
// there is any finding, else kExitFine (0).
inline int ReleaseExitCode(const ReleaseReport& report) {
  bool warned = false;
  for (const ReleaseFinding& finding : report.findings) {
    if (finding.error) return kExitRefused;
    warned = true;
  }
  return warned ? kExitWarnings : kExitFine;
}
