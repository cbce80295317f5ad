#include "check/diagnose/diagnosis_verdict.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "check/diagnose/certificate_look.h"
#include "check/exit_codes.h"
#include "check/release/console_progress.h"
#include "check/wide_to_utf8.h"
#include "common/held_file_patience.h"

namespace {

constexpr char kInstallFolder[] = "%USERPROFILE%\\Nolm\\Launcher";
// Below this, a volume counts as full: 7-Zip stops at the last block.
constexpr uint64_t kFullVolumeBytes = 1 << 20;

// Windows' errors for a request, grouped by what a support team does next.
bool IsNameError(uint32_t error) {
  return error == 12007;
}
bool IsConnectError(uint32_t error) {
  return error == 12029 || error == 12030;
}
// Wine reports a read that waited too long as the socket's own time-out.
bool IsTimeoutError(uint32_t error) {
  return error == 12002 || error == WSAETIMEDOUT;
}
bool IsDiskFullError(uint32_t error) {
  return error == ERROR_DISK_FULL || error == 39;
}
bool IsCertificateError(uint32_t error) {
  switch (error) {
    case 12037:  // ERROR_WINHTTP_SECURE_CERT_DATE_INVALID
    case 12038:  // ERROR_WINHTTP_SECURE_CERT_CN_INVALID
    case 12045:  // ERROR_WINHTTP_SECURE_INVALID_CA
    case 12057:  // ERROR_WINHTTP_SECURE_CERT_REV_FAILED
    case 12157:  // ERROR_WINHTTP_SECURE_CHANNEL_ERROR: Wine's word for all of these
    case 12169:  // ERROR_WINHTTP_SECURE_INVALID_CERT
    case 12170:  // ERROR_WINHTTP_SECURE_CERT_REVOKED
    case 12175:  // ERROR_WINHTTP_SECURE_FAILURE
    case 12179:  // ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE
      return true;
    default:
      return false;
  }
}

Verdict Make(const char* code, const std::string& message) {
  Verdict verdict;
  verdict.code = code;
  verdict.message = message;
  verdict.exitCode = kExitRefused;
  return verdict;
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

std::string Duration(int64_t seconds) {
  seconds = seconds < 0 ? -seconds : seconds;
  const int64_t days = seconds / 86400;
  const int64_t hours = seconds % 86400 / 3600;
  const int64_t minutes = seconds % 3600 / 60;
  if (days > 0) return std::to_string(days) + " days " + std::to_string(hours) + " h";
  return std::to_string(hours) + " h " + std::to_string(minutes) + " min";
}

std::string Validity(const CertificateLook& look) {
  return "valid from " + UtcText(look.notBefore) + " to " + UtcText(look.notAfter);
}

Verdict CertificateVerdict(const RequestReport& request, const CertificateLook& look) {
  const std::string host = UrlHost(request.url);
  if (look.answered && look.serverDateKnown && look.serverDate >= look.notBefore &&
      look.serverDate <= look.notAfter && std::llabs(look.localDate - look.serverDate) > 86400) {
    return Make("clock-wrong",
                "this machine's clock says " + UtcText(look.localDate) + ", but " + host +
                    " says " + UtcText(look.serverDate) + ", " +
                    Duration(look.localDate - look.serverDate) +
                    " apart; the server's certificate is " + Validity(look) +
                    ", so it is refused only because of this machine's clock: set the date, time "
                    "and time zone right (Settings, Time & language) and start the game again");
  }
  std::string message =
      "the certificate " + host + " presents is refused (" + request.failure + ")";
  if (look.answered) {
    message += ": it is issued by \"" + look.issuer + "\" for \"" + look.subject + "\", " +
               Validity(look) +
               "; when that issuer is security software or a network that intercepts HTTPS "
               "(a company or school network, a public hotspot), let it pass " +
               host + " unchanged, or use another network";
  } else {
    message += "; the certificate could not be read";
  }
  return Make("certificate-untrusted", message);
}

// The verdict of a request that failed for a cause outside the release;
// empty code when the release check's own finding says it better.
Verdict RequestVerdict(const RequestReport& request, const DiagnosisReport& report) {
  const std::string host = UrlHost(request.url);
  if (IsNameError(request.error)) {
    return Make("network-name", "the host name " + host +
                                    " does not resolve on this machine: check the internet "
                                    "connection, the DNS settings, or a filter that blocks it");
  }
  if (IsConnectError(request.error)) {
    std::string message = "no connection can be made to " + host + " port 443, or it breaks off (" +
                          request.failure + ")";
    if (!report.machine.proxyServer.empty()) {
      message += "; Windows names the proxy " + report.machine.proxyServer + " for this user";
    }
    return Make("network-connect", message + ": a firewall or security software may block it");
  }
  if (IsTimeoutError(request.error)) {
    return Make("network-timeout", request.url + " stopped answering: the request gave up after " +
                                       SecondsText(request.seconds));
  }
  if (IsCertificateError(request.error)) return CertificateVerdict(request, report.certificate);
  if (request.status != 0 && request.status != 200) {
    return Make("server-status", request.url + ": " + request.failure);
  }
  return {};
}

const RequestReport* RequestOf(const ReleaseReport& replay, const std::string& code) {
  if (code == "manifest-unavailable") return &replay.manifestRequest;
  if (code == "signature-unavailable") return &replay.signatureRequest;
  if (code == "archive-unavailable") return &replay.archiveRequest;
  if (code == "extractor-unavailable") return &replay.extractorRequest;
  return nullptr;
}

// Where in a start a finding's step comes. The release check lists the
// manifest's findings together, but a signed shortcut fetches and verifies
// the signatures before it reads the signed digest and size. A held file
// stops a start at the first file step, the extractor's hash, or later;
// the replay drops what the hold caused, so only the release's own errors
// from before that step come first.
int StepOf(const std::string& code) {
  static const char* const kSteps[][2] = {
      {"manifest-no-sha256", "4"}, {"manifest-no-size", "4"},   {"signature-", "3"},
      {"manifest-", "2"},          {"archive-unreadable", "7"}, {"archive-no-", "7"},
      {"archive-has-marker", "7"}, {"archive-", "5"},           {"extractor-", "6"},
      {"file-held", "6"},
  };
  for (const auto& [prefix, step] : kSteps) {
    if (code.rfind(prefix, 0) == 0) return step[0] - '0';
  }
  return 5;
}

// The error a start meets first; nullptr when there is none.
const ReleaseFinding* FirstError(const ReleaseReport& replay) {
  const ReleaseFinding* first = nullptr;
  for (const ReleaseFinding& finding : replay.findings) {
    if (finding.error && (first == nullptr || StepOf(finding.code) < StepOf(first->code))) {
      first = &finding;
    }
  }
  return first;
}

// What the archive, the unpacked files and 7zr.exe take at once; from the
// announced lengths of the two downloads when the replay did not get that far.
uint64_t PeakNeed(const ReleaseReport& replay) {
  if (replay.diskBytesNeeded != 0) return replay.diskBytesNeeded;
  return std::strtoull(replay.archiveRequest.contentLength.c_str(), nullptr, 10) +
         std::strtoull(replay.extractorRequest.contentLength.c_str(), nullptr, 10);
}

// Too little space for what the replay had to store. A full volume does not
// always fail a write: Windows may store part of a chunk and report no error,
// which leaves a download short of its length.
bool SpaceFailed(const DiagnosisReport& report, const ReleaseFinding& error) {
  const ReleaseReport& replay = report.replay;
  const bool tooLittle =
      report.machine.freeSpaceKnown && report.machine.freeBytes < PeakNeed(replay);
  if (error.code == "archive-unreadable") {
    return replay.unpackFreeBytes < kFullVolumeBytes || tooLittle;
  }
  const RequestReport* request = RequestOf(replay, error.code);
  return request != nullptr && request->status == 200 &&
         (IsDiskFullError(request->error) || (request->error == 0 && tooLittle));
}

Verdict DiskSpace(const DiagnosisReport& report) {
  return Make("disk-space", "an installation needs " + ByteSize(PeakNeed(report.replay)) +
                                " at once beside " + kInstallFolder + ", and " +
                                ByteSize(report.machine.freeBytes) +
                                " was free there: free some space on that drive");
}

// Named as the player's own installation has the file, which the replay's
// stand-in folder mirrors.
Verdict FileHeld(const HeldFileReport& held) {
  const std::string file =
      held.relative.empty() ? held.path : std::string(kInstallFolder) + "\\" + held.relative;
  return Make("file-held",
              "the shortcut's " + held.step + " of " + file + " gave up after waiting " +
                  SecondsText(held.waitedMs / 1000.0) + ", with the " +
                  std::to_string(kHeldFileBudgetMs / 1000) +
                  " s a start waits for held files spent: another program kept the file open, "
                  "as security software does when it reads a file just written (an indexer or "
                  "a sync client can too); let the security software allow %USERPROFILE%\\Nolm, "
                  "or wait until it has finished and start the game again");
}

Verdict ReplayVerdict(const DiagnosisReport& report) {
  const ReleaseReport& replay = report.replay;
  const ReleaseFinding* error = FirstError(replay);
  if (error != nullptr) {
    if (error->code == "file-held") return FileHeld(replay.heldFile);
    if (SpaceFailed(report, *error)) return DiskSpace(report);
    const RequestReport* request = RequestOf(replay, error->code);
    if (request != nullptr && request->made && !request->failure.empty()) {
      Verdict verdict = RequestVerdict(*request, report);
      if (!verdict.code.empty()) return verdict;
    }
    if ((error->code == "archive-no-launcher" || error->code == "archive-unreadable") &&
        replay.launcherListed) {
      return Make("launcher-removed",
                  "the archive holds launcher.exe at its top and 7zr.exe unpacked it, but "
                  "launcher.exe was gone right after: something removed it as soon as "
                  "it was written, which is what security software does when it quarantines a "
                  "program; let the security software allow " +
                      std::string(kInstallFolder) + "\\launcher.exe");
    }
    return Make(error->code.c_str(), error->message);
  }
  if (report.machine.freeSpaceKnown && report.machine.freeBytes < PeakNeed(replay)) {
    return DiskSpace(report);
  }
  Verdict verdict;
  verdict.code = "would-install";
  uint64_t bytes = replay.manifestRequest.bytes + replay.signatureRequest.bytes +
                   replay.archiveRequest.bytes + replay.extractorRequest.bytes;
  verdict.message = "a first installation works here: launcher version \"" + replay.version +
                    "\", " + std::to_string(bytes) + " bytes downloaded (" + ByteSize(bytes) +
                    "), " + std::to_string(replay.unpackedBytes) + " bytes unpacked, in " +
                    SecondsText(replay.seconds);
  verdict.exitCode = kExitFine;
  return verdict;
}

}  // namespace

std::string UtcText(int64_t seconds) {
  // FILETIME: 100 ns units since 1601.
  const uint64_t ticks = static_cast<uint64_t>(seconds + 11644473600LL) * 10000000;
  FILETIME file = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME time = {};
  if (!FileTimeToSystemTime(&file, &time)) return "?";
  char text[48];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", time.wYear, time.wMonth,
                time.wDay, time.wHour, time.wMinute, time.wSecond);
  return text;
}

const RequestReport* RefusedCertificateRequest(const ReleaseReport& replay) {
  const ReleaseFinding* error = FirstError(replay);
  if (error == nullptr) return nullptr;
  const RequestReport* request = RequestOf(replay, error->code);
  return request != nullptr && request->made && IsCertificateError(request->error) ? request
                                                                                   : nullptr;
}

Verdict DecideVerdict(const DiagnosisReport& report) {
  if (!report.configValid) return Make("config-refused", report.configRefusal);
  if (report.installation.lockHeld) {
    Verdict verdict =
        Make("install-busy", "another copy of the shortcut is installing the launcher into " +
                                 std::string(kInstallFolder) +
                                 " right now: a start waits for it now; run this again once it "
                                 "ends");
    verdict.exitCode = kExitWarnings;
    return verdict;
  }
  if (report.installation.state == "installed") {
    Verdict verdict;
    verdict.code = "installed";
    verdict.exitCode = kExitFine;
    verdict.message =
        "the launcher in " + std::string(kInstallFolder) + " is whole, so a start needs no network";
    if (!report.unwritableFolder.empty()) {
      verdict.message +=
          "; a new installation would find " + report.unwritableFolder + " unwritable";
    } else if (report.replayed) {
      const Verdict replay = ReplayVerdict(report);
      if (replay.code != "would-install") {
        verdict.message +=
            "; a new installation would meet [" + replay.code + "]: " + replay.message;
      }
    }
    return verdict;
  }
  if (!report.unwritableFolder.empty()) {
    char error[16];
    std::snprintf(error, sizeof error, "%u", report.unwritableError);
    wchar_t* words = nullptr;
    std::string reason;
    if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, report.unwritableError, 0, reinterpret_cast<wchar_t*>(&words), 0,
                       nullptr) > 0) {
      std::wstring text = words;
      while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
      reason = WideToUtf8(text) + " ";
    }
    if (words != nullptr) LocalFree(words);
    return Make("folder-unwritable", report.unwritableFolder + " cannot be written: " + reason +
                                         "(Windows error " + error +
                                         "); the shortcut installs the launcher under it");
  }
  return ReplayVerdict(report);
}
