#include "check/release/signature_check.h"

#include <string_view>
#include <vector>

#include "check/file_bytes.h"
#include "check/release/release_fetch.h"
#include "check/release/served_file.h"
#include "check/wide_to_utf8.h"
#include "install/install_paths.h"
#include "net/release_signature.h"
#include "net/signature_verify.h"

namespace {

constexpr wchar_t kReleaseSignature[] = L"\\launcher\\version.json.sig";
constexpr char kSignedStops[] =
    "a shortcut that pins release keys stops every installation before the archive is fetched";

void Add(ReleaseReport& report, const char* code, const std::string& message) {
  report.findings.push_back({code, true, message});
}

// A line as short as a message can name it, for lines of any length; a
// character cut in two becomes U+FFFD.
std::string Opening(const std::string& line) {
  return line.size() <= 12 ? line : ValidUtf8(line.substr(0, 12)) + "...";
}

// Why no line verifies, line by line.
std::string NoneVerifies(const ReleaseReport& report) {
  std::string keys;
  for (const ReleaseKey& key : report.keys) keys += (keys.empty() ? "" : ", ") + key.fingerprint;
  std::string message = report.signatureSource + ": ";
  if (report.signatureLines.empty()) {
    message += "holds no signature line";
  } else {
    message += "no line verifies under the key" +
               std::string(report.keys.size() == 1 ? " " : "s ") + keys + " over the manifest's " +
               std::to_string(report.manifestBytes) + " bytes";
    for (size_t i = 0; i < report.signatureLines.size(); ++i) {
      const SignatureLineReport& line = report.signatureLines[i];
      message += std::string(i == 0 ? ": " : "; ") + "line " + std::to_string(i + 1) + " (" +
                 Opening(line.text) + ") " +
                 (line.wellFormed ? "verifies under none of them"
                                  : "is not the base64 of a DER ECDSA P-256 signature");
    }
    message += " (signed with another key, or over other bytes than this manifest)";
  }
  return message + "; " + kSignedStops;
}

}  // namespace

void CheckSignatureSource(const ReleaseInputs& inputs, const std::string& manifest,
                          ReleaseReport& report) {
  const bool withKeys = !inputs.keys.empty();
  report.keys = inputs.keys;
  const std::string folderPath = WideToUtf8(inputs.folder + kReleaseSignature);
  FileBytes inFolder;
  if (!inputs.folder.empty()) inFolder = ReadFileBytes(inputs.folder + kReleaseSignature);
  if (!withKeys && (!inputs.host.empty() || !inFolder.exists)) return;

  std::string signatures;
  if (!inputs.host.empty()) {
    report.signatureRequest =
        FetchAsShortcut(inputs.host, kSignaturePath, L"", &signatures, "", kMaxSignatureFileBytes);
    report.signatureSource = report.signatureRequest.url;
    if (!report.signatureRequest.failure.empty()) {
      Add(report, "signature-unavailable",
          report.signatureSource + ": " + report.signatureRequest.failure + "; " + kSignedStops);
      return;
    }
    const std::string difference =
        inputs.folder.empty()
            ? std::string()
            : ServedDifference(signatures, report.signatureSource, inFolder, folderPath);
    if (!difference.empty()) Add(report, "signature-differs", difference);
    report.signatureBytes = signatures.size();
  } else {
    report.signatureSource = folderPath;
    if (!inFolder.readable) {
      if (withKeys) {
        Add(report, "signature-unavailable",
            folderPath + " " + WhyUnreadable(inFolder) + ": " + kSignedStops);
      }
      return;
    }
    signatures = inFolder.bytes;
    report.signatureBytes = inFolder.size;
  }
  report.signatureRead = true;

  std::vector<std::string_view> lines;
  report.signatureWithinLimits = SignatureFileLines(signatures, &lines);
  if (!report.signatureWithinLimits) {
    if (withKeys) {
      Add(report, "signature-unavailable",
          report.signatureSource +
              (report.signatureBytes > kMaxSignatureFileBytes
                   ? " is " + std::to_string(report.signatureBytes) +
                         " bytes, past the shortcut's limit of " +
                         std::to_string(kMaxSignatureFileBytes)
                   : " has more than " + std::to_string(kMaxSignatureLines) +
                         " lines, the shortcut's limit") +
              ": it refuses the file whole, so " + kSignedStops);
    }
    return;
  }

  std::vector<const char*> keys;
  for (const ReleaseKey& key : inputs.keys) keys.push_back(key.base64.c_str());
  unsigned char digest[kSha256Bytes];
  report.signatureChecked = withKeys && report.manifestRead && Sha256Of(manifest, digest);
  for (std::string_view line : lines) {
    SignatureLineReport& entry = report.signatureLines.emplace_back();
    entry.text = ValidUtf8(std::string(line));
    unsigned char rs[64];
    entry.wellFormed = SignatureLineToP256(line, rs);
    const int index =
        report.signatureChecked ? SigningKeyIndex(line, digest, keys.data(), keys.size()) : -1;
    if (index >= 0) entry.key = inputs.keys[index].fingerprint;
    report.signatureVerified = report.signatureVerified || index >= 0;
  }
  if (report.signatureChecked && !report.signatureVerified) {
    Add(report, "signature-invalid", NoneVerifies(report));
  }
}
