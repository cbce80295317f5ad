#include "check/release/release_check.h"

#include <windows.h>

#include <chrono>

#include "check/file_bytes.h"
#include "check/release/archive_unpack.h"
#include "check/release/held_file_finding.h"
#include "check/release/manifest_check.h"
#include "check/release/release_fetch.h"
#include "check/release/scratch_folder.h"
#include "check/release/served_file.h"
#include "check/release/signature_check.h"
#include "check/wide_to_utf8.h"
#include "deployment.h"
#include "common/held_file_patience.h"
#include "install/held_file_steps.h"
#include "install/install_paths.h"
#include "net/file_sha256.h"
#include "net/release_signature.h"

namespace {

// The remote files as they lie in a release folder.
constexpr wchar_t kReleaseManifest[] = L"\\launcher\\version.json";
constexpr wchar_t kReleaseArchive[] = L"\\launcher\\launcher.7z";

void Add(ReleaseReport& report, const char* code, bool error, const std::string& message) {
  report.findings.push_back({code, error, message});
}

uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A file of the release folder, or the --extractor, copied where the
// shortcut would have downloaded it. Security software may still hold one
// the publisher's build has just written; that is waited for as the
// shortcut's own reads wait.
bool CopyWhileHeld(const std::wstring& from, const std::wstring& to) {
  return RetryWhileHeld(HeldFileStep::kHash, from,
                        [&] { return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE; });
}

std::string Sized(uint64_t bytes, const std::string& sha256) {
  return std::to_string(bytes) + " bytes, SHA-256 " + sha256;
}

// No Content-Encoding, or "identity" in any case: the bytes are the file's.
bool IsIdentity(std::string encoding) {
  for (char& c : encoding) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return encoding.empty() || encoding == "identity";
}

// The manifest a player gets: the host's when one is given, else the folder's.
// Returns its bytes (empty unless `report.manifestRead`).
std::string CheckManifestSource(const ReleaseInputs& inputs, ReleaseReport& report) {
  const std::string folderPath = WideToUtf8(inputs.folder + kReleaseManifest);
  FileBytes inFolder;
  if (!inputs.folder.empty()) inFolder = ReadFileBytes(inputs.folder + kReleaseManifest);
  std::string manifest;
  // A shortcut that pins keys reads no longer manifest.
  const uint64_t maxBytes = inputs.keys.empty() ? UINT64_MAX : kMaxSignedManifestBytes;
  if (!inputs.host.empty()) {
    report.manifestRequest =
        FetchAsShortcut(inputs.host, kManifestPath, L"", &manifest, "", maxBytes);
    report.manifestSource = report.manifestRequest.url;
    if (!report.manifestRequest.failure.empty()) {
      Add(report, "manifest-unavailable", true,
          report.manifestSource + ": " + report.manifestRequest.failure +
              "; every installation stops here");
      return {};
    }
    if (!IsIdentity(report.manifestRequest.contentEncoding)) {
      Add(report, "manifest-encoded", true,
          report.manifestSource +
              " comes with Content-Encoding: " + report.manifestRequest.contentEncoding +
              "; WinHTTP hands the shortcut those encoded bytes unchanged, so it finds no "
              "version in them: serve it without compression");
    }
    const std::string difference =
        inputs.folder.empty()
            ? std::string()
            : ServedDifference(manifest, report.manifestSource, inFolder, folderPath);
    if (!difference.empty()) Add(report, "manifest-differs", true, difference);
  } else {
    report.manifestSource = folderPath;
    if (!inFolder.readable) {
      Add(report, "manifest-unavailable", true,
          folderPath + " " + WhyUnreadable(inFolder) + ": every installation would stop here");
      return {};
    }
    if (inFolder.size > maxBytes) {
      Add(report, "manifest-unavailable", true,
          folderPath + " is " + std::to_string(inFolder.size) + " bytes, past the " +
              std::to_string(maxBytes) +
              " a shortcut that pins release keys reads: every installation would stop here");
      return {};
    }
    manifest = inFolder.bytes;
  }
  report.manifestRead = true;
  report.manifestBytes = manifest.size();
  CheckManifest(manifest, report.manifestSource, !inputs.keys.empty(), report);
  return manifest;
}

// The archive a player gets, placed where the shortcut downloads it.
void FetchArchive(const ReleaseInputs& inputs, const std::wstring& installDir,
                  ReleaseReport& report) {
  const std::wstring archive = installDir + kArchiveFile;
  const std::wstring inFolder = inputs.folder + kReleaseArchive;
  if (inputs.host.empty()) {
    report.archiveSource = WideToUtf8(inFolder);
    if (!IsFilePresent(inFolder)) {
      Add(report, "archive-unavailable", true,
          report.archiveSource + " is missing: every installation would fail");
      return;
    }
    if (!CopyWhileHeld(inFolder, archive)) {
      const DWORD error = GetLastError();
      if (GaveUpOnHeldFile(installDir, report)) return;
      Add(report, "archive-unavailable", true,
          report.archiveSource + " could not be read (Windows error " + std::to_string(error) +
              ")");
      return;
    }
  } else {
    RequestReport& request = report.archiveRequest;
    request = FetchAsShortcut(inputs.host, kArchivePath, archive, nullptr, "launcher/launcher.7z");
    report.archiveSource = request.url;
    if (request.status == 200 && request.contentLength.empty()) {
      Add(report, "archive-no-length", false,
          request.url +
              " comes without a Content-Length: it downloads, but the player's "
              "progress bar stays empty until it is done");
    }
    if (request.status == 200 && !IsIdentity(request.contentEncoding)) {
      Add(report, "archive-encoded", true,
          request.url + " comes with Content-Encoding: " + request.contentEncoding +
              "; WinHTTP hands the shortcut those encoded bytes unchanged, so 7zr.exe gets " +
              request.contentEncoding +
              " data instead of the archive: serve .7z files "
              "without compression");
    }
    if (!request.failure.empty()) {
      Add(report, "archive-unavailable", true,
          request.url + ": " + request.failure + "; every installation fails here");
      return;
    }
  }
  report.archiveRead = true;
  report.archiveBytes = FileSize(archive);
  report.archiveSha256 = FileSha256Hex(archive);
  // Without the archive's digest nothing can be compared; a held archive
  // fails the unpack's own wait at once, with the budget spent.
  if (GaveUpOnHeldFile(installDir, report)) return;
  // Checked with or without keys: a "sha256" that is there is meant to hold.
  const bool otherDigest = IsSha256Hex(report.sha256) && report.sha256 != report.archiveSha256;
  if (otherDigest) {
    Add(report, "archive-sha256-differs", true,
        report.archiveSource + " has SHA-256 " + report.archiveSha256 +
            ", not the manifest's \"sha256\" " + report.sha256 +
            ": a shortcut that pins release keys deletes it before unpacking, so every "
            "installation fails");
  }
  uint64_t signedSize = 0;
  const bool otherSize = !inputs.keys.empty() && ParseSignedSize(report.size, &signedSize) &&
                         signedSize != report.archiveBytes;
  if (otherSize) {
    Add(report, "archive-size-differs", true,
        report.archiveSource + " is " + std::to_string(report.archiveBytes) +
            " bytes, not the manifest's \"size\" " + report.size +
            ": a shortcut that pins release keys stops that download as soon as its length "
            "differs (at once when the Content-Length does), so every installation fails");
  }
  // Bytes nobody signed are never handed to 7zr.exe, here as on a player's machine.
  if (!inputs.keys.empty() && (otherDigest || otherSize)) {
    report.unpackSkipped =
        "the archive is not the one the manifest signs, so it is not unpacked, "
        "as a shortcut that pins these keys never unpacks it";
  }
  if (!inputs.host.empty() && !inputs.folder.empty()) {
    const uint64_t releaseBytes = FileSize(inFolder);
    const std::string releaseSha256 = FileSha256Hex(inFolder);
    if (GaveUpOnHeldFile(installDir, report)) return;
    if (releaseSha256.empty()) {
      Add(report, "archive-differs", true,
          WideToUtf8(inFolder) + " is missing, so what the host serves cannot be compared with it");
    } else if (releaseSha256 != report.archiveSha256) {
      Add(report, "archive-differs", true,
          report.archiveSource + " is not the release's archive: served " +
              Sized(report.archiveBytes, report.archiveSha256) + "; release " +
              Sized(releaseBytes, releaseSha256) +
              " (a stale or cut cached copy, or a server that changes what it serves)");
    }
  }
}

// 7zr.exe placed where the shortcut keeps it, and kept only when it is the
// pinned build: an unverified program is never run.
void FetchExtractor(const ReleaseInputs& inputs, const std::wstring& installDir,
                    ReleaseReport& report) {
  const std::wstring extractor = installDir + kExtractorFile;
  if (!inputs.extractor.empty()) {
    report.extractorSource = WideToUtf8(inputs.extractor);
    if (!CopyWhileHeld(inputs.extractor, extractor)) {
      const DWORD error = GetLastError();
      if (GaveUpOnHeldFile(installDir, report)) return;
      Add(report, "extractor-unavailable", true,
          report.extractorSource + " could not be read (Windows error " + std::to_string(error) +
              "), so the archive is not unpacked");
      return;
    }
  } else {
    report.extractorRequest = FetchAsShortcut(kExtractorHost, kExtractorPath, extractor, nullptr);
    report.extractorSource = report.extractorRequest.url;
    if (!report.extractorRequest.failure.empty()) {
      Add(report, "extractor-unavailable", true,
          report.extractorSource + ": " + report.extractorRequest.failure +
              "; every first installation on a machine fails here");
      return;
    }
  }
  report.extractorBytes = FileSize(extractor);
  report.extractorSha256 = FileSha256Hex(extractor);
  report.extractorPinned = report.extractorSha256 == kExtractorSha256;
  if (!report.extractorPinned) {
    const bool held = GaveUpOnHeldFile(installDir, report);
    DeleteFileWhileHeld(extractor);
    GaveUpOnHeldFile(installDir, report);
    // A digest the hold kept from being read says nothing of the file.
    if (held) return;
    Add(report, "extractor-mismatch", true,
        report.extractorSource + " has SHA-256 " + report.extractorSha256 + ", not the pinned " +
            kExtractorSha256 + ": the shortcut never runs it" +
            (inputs.extractor.empty() ? ", so every first installation on a machine fails" : "") +
            "; the archive is not unpacked");
  }
}

}  // namespace

bool CheckRelease(const ReleaseInputs& inputs, ReleaseReport& report, unsigned long* scratchError) {
  const auto start = std::chrono::steady_clock::now();
  ClearLastHeldFileGiveUp();
  ScratchFolder scratch(inputs.scratchParent);
  if (!scratch.ok()) {
    if (scratchError) *scratchError = scratch.error();
    return false;
  }
  // A stand-in for the install directory, laid out as the shortcut lays it.
  const std::wstring installDir = scratch.path() + L"\\install";
  CreateDirectoryW(installDir.c_str(), nullptr);
  CreateDirectoryW((installDir + kTempDir).c_str(), nullptr);
  CreateDirectoryW((installDir + kLibDir).c_str(), nullptr);

  // The shortcut's order: manifest, signatures, archive, extractor.
  const std::string manifest = CheckManifestSource(inputs, report);
  CheckSignatureSource(inputs, manifest, report);
  FetchArchive(inputs, installDir, report);
  FetchExtractor(inputs, installDir, report);
  if (report.archiveRead && report.extractorPinned && report.unpackSkipped.empty()) {
    // In the temporary folder, not in the scratch folder or beside it: under
    // Wine the console helper of 7zr.exe may hold the file a moment after
    // 7zr.exe ends, which would keep the folders around it from being
    // removed. The file deletes itself once the last handle to it closes.
    UnpackArchive(installDir, ProcessTempPath(L"-7zr-output.txt"), report);
  }
  if (report.unpackRan && report.unpackExitCode == 0) {
    report.diskBytesNeeded = report.archiveBytes + report.unpackedBytes + report.extractorBytes;
  }
  if (!scratch.Remove()) report.scratchLeft = WideToUtf8(scratch.path());
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return true;
}
