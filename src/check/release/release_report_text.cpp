#include <cstdio>

#include "check/release/console_progress.h"
#include "check/release/release_report_writers.h"
#include "check/wide_to_utf8.h"

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

namespace {

std::string Bytes(uint64_t bytes) {
  const std::string exact = std::to_string(bytes) + " bytes";
  return bytes < 1024 ? exact : exact + " (" + ByteSize(bytes) + ")";
}

std::string Request(const RequestReport& request) {
  if (!request.made) return {};
  std::string line = "  GET " + request.url + ": ";
  line += request.status == 0 ? "no response" : "status " + std::to_string(request.status);
  if (!request.finalUrl.empty() && request.finalUrl != request.url) {
    line += ", redirected to " + request.finalUrl;
  }
  if (request.status == 200) {
    line += request.contentLength.empty() ? ", no Content-Length"
                                          : ", Content-Length " + request.contentLength;
    if (!request.contentEncoding.empty()) line += ", Content-Encoding " + request.contentEncoding;
    line += ", " + std::to_string(request.bytes) + " bytes received";
  }
  line += " in " + Seconds(request.seconds);
  if (request.seconds > 0.05 && request.bytes > 1024 * 1024) {
    line += " (" +
            ByteSize(static_cast<uint64_t>(static_cast<double>(request.bytes) / request.seconds)) +
            "/s)";
  }
  return line + "\n";
}

std::string Outcome(const ReleaseReport& report) {
  size_t errors = 0;
  for (const ReleaseFinding& finding : report.findings) errors += finding.error ? 1 : 0;
  const size_t warnings = report.findings.size() - errors;
  auto count = [](size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  switch (ReleaseExitCode(report)) {
    case kExitRefused:
      return count(errors, "error") + (warnings ? " and " + count(warnings, "warning") : "") +
             ": a player's installation fails or repeats (exit code 1)";
    case kExitWarnings:
      return "installs, with " + count(warnings, "warning") + " (exit code 2)";
    default:
      return "fine (exit code 0)";
  }
}

// A signature line whole, unless it is far longer than a signature; a
// character cut in two becomes U+FFFD.
std::string Shortened(const std::string& line) {
  if (line.size() <= 120) return line;
  return ValidUtf8(line.substr(0, 96)) + "... (" + std::to_string(line.size()) + " characters)";
}

std::string Signature(const ReleaseReport& report) {
  if (report.keys.empty() && report.signatureSource.empty()) return {};
  std::string out = "signature: " + report.signatureSource;
  if (report.signatureRead) {
    out += ", " + Bytes(report.signatureBytes);
    const size_t lines = report.signatureLines.size();
    if (!report.signatureWithinLimits) {
      out += ", past the shortcut's limits";
    } else {
      out += ", " + std::to_string(lines) + (lines == 1 ? " line" : " lines");
    }
    if (report.keys.empty()) out += ", not checked: no --key given and this build pins no key";
  }
  out += "\n" + Request(report.signatureRequest);
  for (const ReleaseKey& key : report.keys) {
    out += "  key " + key.fingerprint + ": " +
           (key.pinned     ? "pinned in this build"
            : key.fromFile ? "given with --key, " + key.source
                           : "given with --key in base64") +
           "\n";
  }
  for (size_t i = 0; i < report.signatureLines.size() && !report.keys.empty(); ++i) {
    const SignatureLineReport& line = report.signatureLines[i];
    out += "  line " + std::to_string(i + 1) + ": " + Shortened(line.text) + ": ";
    if (!report.signatureChecked) {
      out += "not verified: there is no manifest to verify it over\n";
    } else if (!line.key.empty()) {
      out += "verified by key " + line.key + "\n";
    } else {
      out += line.wellFormed ? "verified by no key\n"
                             : "not the base64 of a DER signature, verified by no key\n";
    }
  }
  return out;
}

}  // namespace

std::string ReleaseTextReport(const ReleaseReport& report) {
  return ReleaseTextFacts(report) + "result: " + Outcome(report) + ", checked in " +
         Seconds(report.seconds) + "\n";
}

std::string ReleaseTextFacts(const ReleaseReport& report) {
  std::string out;
  if (!report.releaseFolder.empty()) out += "release folder: " + report.releaseFolder + "\n";
  if (!report.host.empty()) out += "host: " + report.host + "\n";

  out += "manifest: " + report.manifestSource;
  if (report.manifestRead) {
    out += ", " + Bytes(report.manifestBytes) + ", version " +
           (report.version.empty() ? "none" : "\"" + report.version + "\"");
    if (!report.sha256.empty()) out += ", sha256 \"" + report.sha256 + "\"";
    if (!report.size.empty()) out += ", size \"" + report.size + "\"";
  }
  out += "\n" + Request(report.manifestRequest) + Signature(report);

  out += "archive: " + report.archiveSource;
  if (report.archiveRead) {
    out += ", " + Bytes(report.archiveBytes) + ", SHA-256 " + report.archiveSha256;
  }
  out += "\n" + Request(report.archiveRequest);

  out += "extractor: " + report.extractorSource;
  if (!report.extractorSha256.empty()) {
    out += ", SHA-256 " + report.extractorSha256 +
           (report.extractorPinned ? ", the pinned build" : ", NOT the pinned build");
  }
  out += "\n" + Request(report.extractorRequest);

  if (report.unpackRan) {
    out += "unpacked by 7zr.exe in " + Seconds(report.unpackSeconds) + ": exit code " +
           std::to_string(report.unpackExitCode);
    if (report.unpackExitCode == 0) {
      out += ", " + std::to_string(report.unpackedFiles) + " files, " +
             Bytes(report.unpackedBytes) + "\n";
      std::string entries;
      for (const std::string& entry : report.topLevel)
        entries += (entries.empty() ? "" : ", ") + entry;
      out += "top of the archive: " + (entries.empty() ? "nothing" : entries) + "\n";
      out += "free space a player needs: " + ByteSize(report.diskBytesNeeded) + " (" +
             std::to_string(report.diskBytesNeeded) +
             " bytes: the archive, the unpacked files and 7zr.exe at once)\n";
    } else {
      out += "\n";
    }
  } else if (!report.unpackSkipped.empty()) {
    out += "unpacked: skipped: " + report.unpackSkipped + "\n";
  } else {
    out += "unpacked: not tried\n";
  }
  if (!report.scratchLeft.empty()) {
    out += "scratch folder left behind: " + report.scratchLeft +
           ": files in it stayed held by another program past the wait\n";
  }
  for (const ReleaseFinding& finding : report.findings) {
    out += std::string(finding.error ? "error" : "warning") + " [" + finding.code +
           "]: " + finding.message + "\n";
  }
  return out;
}
