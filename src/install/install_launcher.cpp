#include "install/install_launcher.h"

#include <windows.h>

#include "common/handles.h"
#include "deployment.h"
#include "install/held_file_steps.h"
#include "install/install_paths.h"
#include "install/run_hidden_process.h"
#include "net/file_sha256.h"
#include "net/https_download.h"
#include "text/json_string_value.h"
// A build that lost its keys must not quietly become an unsigned one.
#ifndef NOLM_RELEASE_KEY_COUNT
#error "deployment.h says how many release keys this build pins"
#endif
#if NOLM_RELEASE_KEY_COUNT > 0
#include "net/release_signature.h"
#include "net/sha256.h"
#include "net/signature_verify.h"
#endif

namespace {

bool IsPinnedExtractor(const std::wstring& path) {
  return FileSha256Hex(path) == kExtractorSha256;
}

// Makes sure lib\7zr.exe is the pinned build, downloading it when it is not.
// On failure neither the extractor nor the archive is left behind, so an
// unverified program can never be run by a later attempt.
bool EnsureVerifiedExtractor(const std::wstring& extractor, const std::wstring& archive) {
  if (IsPinnedExtractor(extractor)) return true;
  DeleteFileWhileHeld(extractor);
  if (HttpsDownload(kExtractorHost, kExtractorPath, extractor, nullptr, false) &&
      IsPinnedExtractor(extractor)) {
    return true;
  }
  DeleteFileWhileHeld(extractor);
  DeleteFileWhileHeld(archive);
  return false;
}

// Best effort: the record is informational and never changes the outcome.
void RecordVersion(const std::wstring& path, const std::string& version) {
  UniqueHandle file;
  const auto open = [&] {
    file = UniqueHandle(CreateFileW(/* lpFileName */ path.c_str(),
                                    /* dwDesiredAccess */ GENERIC_WRITE,
                                    /* dwShareMode */ 0,
                                    /* lpSecurityAttributes */ nullptr,
                                    /* dwCreationDisposition */ CREATE_ALWAYS,
                                    /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                    /* hTemplateFile */ nullptr));
    return static_cast<bool>(file);
  };
  if (!RetryWhileHeld(HeldFileStep::kWrite, path, open)) return;
  DWORD written = 0;
  WriteFile(file.get(), version.data(), static_cast<DWORD>(version.size()), &written, nullptr);
}

// Created and flushed before the extractor writes anything, so that a crash
// can leave extracted files behind only with the marker beside them.
bool WriteIncompleteMarker(const std::wstring& path) {
  UniqueHandle file(CreateFileW(/* lpFileName */ path.c_str(),
                                /* dwDesiredAccess */ GENERIC_WRITE,
                                /* dwShareMode */ 0,
                                /* lpSecurityAttributes */ nullptr,
                                /* dwCreationDisposition */ CREATE_ALWAYS,
                                /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                /* hTemplateFile */ nullptr));
  return file && FlushFileBuffers(file.get());
}

#if NOLM_RELEASE_KEY_COUNT > 0
// The archive's SHA-256 and length as the publisher signed them. False when
// the host's signatures are missing, none verifies under a pinned key, or the
// signed manifest carries no well-formed "sha256" or "size". Whoever controls
// the host then can neither choose what is unpacked nor feed a download
// without end.
bool ReadSignedArchive(const std::string& manifest, std::string* sha256, uint64_t* size) {
  std::string signatures;
  DownloadChecks limit;
  limit.maxBytes = kMaxSignatureFileBytes;
  if (!HttpsDownload(kDownloadHost, kSignaturePath, L"", &signatures, false, nullptr, &limit) ||
      !IsManifestSigned(manifest, signatures, kReleaseKeys, NOLM_RELEASE_KEY_COUNT)) {
    return false;
  }
  *sha256 = JsonStringValue(manifest, "sha256");
  return IsSha256Hex(*sha256) && ParseSignedSize(JsonStringValue(manifest, "size"), size);
}

bool HashChunk(void* hash, const void* data, size_t size) {
  return static_cast<Sha256Stream*>(hash)->Add(data, size);
}
#endif

}  // namespace

bool IsLauncherInstalled(const std::wstring& installDir) {
  return IsFilePresent(installDir + kLauncherExe) && IsFilePresent(installDir + kLauncherPck) &&
         !IsEntryPresent(installDir + kIncompleteMarker);
}

bool InstallLauncher(const std::wstring& installDir) {
  // Only one level above the install directory is made; the profile exists.
  CreateDirectoryW(ParentDirectory(installDir).c_str(), nullptr);
  CreateDirectoryW(installDir.c_str(), nullptr);
  CreateDirectoryW((installDir + kTempDir).c_str(), nullptr);
  CreateDirectoryW((installDir + kLibDir).c_str(), nullptr);

  std::string version;
  DownloadChecks manifestChecks;
  DownloadChecks archiveChecks;
#if NOLM_RELEASE_KEY_COUNT > 0
  manifestChecks.maxBytes = kMaxSignedManifestBytes;
  std::string signedSha256;
  // Hashed as the bytes arrive, so the archive is not read again for it.
  Sha256Stream archiveHash;
  archiveChecks.chunkReceived = HashChunk;
  archiveChecks.context = &archiveHash;
#endif
  {
    std::string manifest;
    if (!HttpsDownload(kDownloadHost, kManifestPath, L"", &manifest, false, nullptr,
                       &manifestChecks)) {
      return false;
    }
    version = JsonStringValue(manifest, "version");
    if (version.empty()) return false;
#if NOLM_RELEASE_KEY_COUNT > 0
    if (!ReadSignedArchive(manifest, &signedSha256, &archiveChecks.exactBytes)) return false;
#endif
  }

  const std::wstring archive = installDir + kArchiveFile;
  if (!HttpsDownload(kDownloadHost, kArchivePath, archive, nullptr, true, nullptr,
                     &archiveChecks)) {
    return false;
  }
#if NOLM_RELEASE_KEY_COUNT > 0
  // Never unpacked, and no extractor fetched for it: not the signed archive.
  unsigned char archiveSha256[kSha256Bytes];
  if (!archiveHash.Finish(archiveSha256) || HexLower(archiveSha256, kSha256Bytes) != signedSha256) {
    DeleteFileWhileHeld(archive);
    return false;
  }
#endif

  if (!EnsureVerifiedExtractor(installDir + kExtractorFile, archive)) return false;

  // Without the marker a failed extraction would look installed to every
  // later start, so no extraction runs unguarded.
  const std::wstring marker = installDir + kIncompleteMarker;
  if (!WriteIncompleteMarker(marker)) {
    DeleteFileWhileHeld(archive);
    return false;
  }
  // Whether it opens or not, 7-Zip is the one to tell: a hold that outlasts
  // the wait fails the extraction as any unreadable archive does.
  WaitUntilArchiveOpens(archive);
  const bool extracted = RunHiddenProcess(ExtractorCommandLine(installDir));
  DeleteFileWhileHeld(archive);
  if (!extracted || !IsFilePresent(installDir + kLauncherExe)) return false;

  RecordVersion(installDir + kVersionFile, version);
  // Last: should this fail, the next start only installs once more.
  DeleteFileWhileHeld(marker);
  return true;
}
