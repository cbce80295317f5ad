#pragma once

#include <cstdint>
#include <string>

#include "check/release/release_report.h"

// The installation already on this machine, as the shortcut's own tests see
// it. Strings are UTF-8.
struct InstallationReport {
  // "absent" (neither launcher.exe nor launcher.pck), "installed" (both, no
  // marker), "unfinished" (the marker is there), "partial" (one is missing,
  // no marker).
  std::string state;
  bool versionRead = false;  // temp\version.dat could be read
  std::string version;       // its text as it stands
  bool extractorPresent = false;
  bool extractorPinned = false;  // lib\7zr.exe has the pinned digest
  bool lockHeld = false;         // another copy of the shortcut installs right now
};

// This machine, as facts. Strings are UTF-8.
struct MachineFacts {
  uint32_t windowsMajor = 0, windowsMinor = 0, windowsBuild = 0;
  uint16_t uiLanguage = 0;      // LANGID of the user's UI language
  std::string uiLanguageName;   // "fr-FR"; empty when Windows has no name for it
  bool messagesFrench = false;  // the player's messages, by the shortcut's rule
  bool userProfileSet = false;
  size_t installPathLength = 0;  // UTF-16 units of the install folder's full path
  bool installPathNonAscii = false;
  bool freeSpaceKnown = false;
  uint64_t freeBytes = 0;        // free to this user on the install folder's volume, measured first
  bool proxyAutoDetect = false;  // Windows' Internet Settings for the current user
  std::string proxyScript;       // automatic configuration script URL; empty: none
  std::string proxyServer;       // the named proxy while it is enabled; empty: none
};

// The second look at a server whose certificate was refused: the same
// request with the certificate checks off, read for the report only.
struct CertificateLook {
  bool made = false;      // a certificate was refused, so the look was taken
  bool answered = false;  // the look got a certificate
  std::string url;
  std::string issuer;  // of the certificate presented
  std::string subject;
  int64_t notBefore = 0;  // validity, seconds since 1970 (UTC)
  int64_t notAfter = 0;
  bool serverDateKnown = false;
  int64_t serverDate = 0;  // the server's Date header, seconds since 1970 (UTC)
  int64_t localDate = 0;   // this machine's clock at the answer, seconds since 1970 (UTC)
};

// One verdict: the first row of the diagnosis that applies.
struct Verdict {
  std::string code;
  std::string message;
  int exitCode = 0;
};

// Everything one diagnosis found.
struct DiagnosisReport {
  std::string gameFolder;  // as given; empty when none
  bool configValid = true;
  std::string configRefusal;  // the game check's config-refused message

  std::string installFolder;  // the install folder's full path (scrubbed when written)
  InstallationReport installation;
  MachineFacts machine;

  std::string unwritableFolder;  // the folder that cannot be written; empty when none
  uint32_t unwritableError = 0;
  bool replayed = false;  // the replay ran in a scratch folder
  std::string host;       // the product download host the replay used
  ReleaseReport replay;
  CertificateLook certificate;
  double seconds = 0;  // the whole diagnosis

  Verdict verdict;
};
