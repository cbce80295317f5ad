#include "check/release/archive_unpack.h"

#include <windows.h>

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "check/release/held_file_finding.h"
#include "check/release/scratch_folder.h"
#include "check/wide_to_utf8.h"
#include "common/handles.h"
#include "install/held_file_steps.h"
#include "install/install_launcher.h"
#include "install/install_paths.h"
#include "install/run_hidden_process.h"
#include "text/utf8_to_wide.h"

namespace {

constexpr char k7zSignature[] = "7z\xBC\xAF\x27\x1C";

std::string FirstBytes(const std::wstring& path, size_t count) {
  UniqueHandle file(CreateFileW(/* lpFileName */ path.c_str(),
                                /* dwDesiredAccess */ GENERIC_READ,
                                /* dwShareMode */ FILE_SHARE_READ,
                                /* lpSecurityAttributes */ nullptr,
                                /* dwCreationDisposition */ OPEN_EXISTING,
                                /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                /* hTemplateFile */ nullptr));
  std::string bytes(count, '\0');
  DWORD read = 0;
  if (!file || !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(count), &read, nullptr)) {
    return {};
  }
  bytes.resize(read);
  return bytes;
}

// What 7zr.exe wrote, read back through the handle it wrote with: under
// Wine a helper process may still hold its copy of that handle, so opening
// the file again without write sharing can fail.
std::string ReadBack(HANDLE output) {
  constexpr DWORD kLimit = 1 << 20;  // far more than any 7-Zip error report
  std::string text(kLimit, '\0');
  LARGE_INTEGER start = {};
  DWORD read = 0;
  if (!SetFilePointerEx(output, start, nullptr, FILE_BEGIN) ||
      !ReadFile(output, text.data(), kLimit, &read, nullptr)) {
    return {};
  }
  text.resize(read);
  return text;
}

// What the archive's file is, when it is not a 7z archive at all.
std::string NotA7zArchive(const std::string& first) {
  if (first.rfind(std::string(k7zSignature, 6), 0) == 0) return {};
  if (first.rfind("\x1F\x8B", 0) == 0) return "it is gzip data, not a 7z archive";
  if (first.rfind("PK", 0) == 0) return "it is a zip archive, not a 7z archive";
  if (first.rfind("<", 0) == 0) return "it is text, such as an HTML page, not a 7z archive";
  if (first.empty()) return "it is empty";
  return "it does not begin as a 7z archive does";
}

std::string Trimmed(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  while (!line.empty() && line.front() == ' ') line.erase(0, 1);
  return line;
}

// The folder (relative to `installDir`) of the first file named `name`,
// in any case as Windows compares names; nullptr when there is none.
const TreeEntry* FindFile(const std::vector<TreeEntry>& tree, const wchar_t* name) {
  for (const TreeEntry& entry : tree) {
    const size_t slash = entry.relative.rfind(L'\\');
    const wchar_t* file = entry.relative.c_str() + (slash == std::wstring::npos ? 0 : slash + 1);
    if (!entry.folder && CompareStringOrdinal(file, -1, name, -1, TRUE) == CSTR_EQUAL) {
      return &entry;
    }
  }
  return nullptr;
}

// Where the archive put `name` ("\\launcher.exe"), when not as a file at its top.
std::string Whereabouts(const std::wstring& installDir, const wchar_t* name) {
  const std::string shown = WideToUtf8(name + 1);
  if (IsEntryPresent(installDir + name)) {
    return shown + " at the top of the archive is a folder, not a file";
  }
  // The tree outlives the pointer into it.
  const std::vector<TreeEntry> tree = ListTree(installDir);
  const TreeEntry* found = FindFile(tree, name + 1);
  if (found == nullptr) return "the archive holds no " + shown;
  return shown + " is not at the top of the archive but in the folder \"" +
         WideToUtf8(found->relative.substr(0, found->relative.rfind(L'\\'))) +
         "\\\": make the archive from inside that folder";
}

// The shortcut's own tests after an extraction: launcher.exe for the
// installation's result, then, once its last step has removed the marker,
// the test every start makes before it installs again.
void CheckInstalled(const std::wstring& installDir, ReleaseReport& report) {
  const bool launcher = IsFilePresent(installDir + kLauncherExe);
  if (!launcher) {
    report.findings.push_back(
        {"archive-no-launcher", true,
         (report.launcherListed
              ? std::string("the archive holds launcher.exe at its top, but it was gone right "
                            "after 7zr.exe wrote it")
              : Whereabouts(installDir, kLauncherExe)) +
             "; every installation fails after unpacking"});
  }
  DeleteFileWhileHeld(installDir + kIncompleteMarker);
  // A marker the hold kept is this machine's doing, not the archive's.
  if (GaveUpOnHeldFile(installDir, report)) return;
  if (!IsFilePresent(installDir + kLauncherPck)) {
    report.findings.push_back(
        {"archive-no-pck", true,
         Whereabouts(installDir, kLauncherPck) +
             "; the shortcut looks for launcher.pck to know the launcher is installed, so every "
             "start of every game installs it again"});
  } else if (launcher && !IsLauncherInstalled(installDir)) {
    report.findings.push_back(
        {"archive-has-marker", true,
         "the archive holds temp\\install.incomplete, which the installation cannot remove as "
         "its last step, so every start of every game installs the launcher again"});
  }
}

// Counts what the archive put there, once the check's own files (the
// archive, the extractor, the marker) are gone.
void CountUnpacked(const std::wstring& installDir, ReleaseReport& report) {
  const std::vector<TreeEntry> tree = ListTree(installDir);
  for (const TreeEntry& entry : tree) {
    if (entry.folder) continue;
    ++report.unpackedFiles;
    report.unpackedBytes += entry.size;
  }
  for (size_t i = 0; i < tree.size(); ++i) {
    const TreeEntry& entry = tree[i];
    if (entry.relative.find(L'\\') != std::wstring::npos) continue;
    // The shortcut makes lib\ and temp\ itself; they are the archive's only
    // when it put something there (listed right after them).
    const bool empty =
        i + 1 == tree.size() || tree[i + 1].relative.rfind(entry.relative + L"\\", 0) != 0;
    if (entry.folder && empty && (entry.relative == L"lib" || entry.relative == L"temp")) continue;
    report.topLevel.push_back(WideToUtf8(entry.relative) + (entry.folder ? "\\" : ""));
  }
}

// What `7zr.exe l -slt` says of the archive: true when it lists a file
// launcher.exe at its top. Its output goes to a file of its own, deleted on
// close, read back through the handle it was written with.
bool ListsTopLauncher(const std::wstring& installDir) {
  const std::wstring outputPath = ProcessTempPath(L"-7zr-list.txt");
  if (outputPath.empty()) return false;
  UniqueHandle file(
      CreateFileW(/* lpFileName */ outputPath.c_str(),
                  /* dwDesiredAccess */ GENERIC_READ | GENERIC_WRITE,
                  /* dwShareMode */ FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  /* lpSecurityAttributes */ nullptr,
                  /* dwCreationDisposition */ CREATE_ALWAYS,
                  /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                  /* hTemplateFile */ nullptr));
  if (!file) return false;
  const std::optional<DWORD> exitCode = RunHiddenProcessForExitCode(
      L"\"" + installDir + kExtractorFile + L"\" l -slt \"" + installDir + kArchiveFile + L"\"",
      file.get());
  if (!exitCode || *exitCode != 0) return false;
  // One "Path = ..." line per entry, its "Attributes = " (beginning with D
  // for a folder) a few lines on when the archive keeps them.
  const std::string listing = ReadBack(file.get());
  bool inLauncher = false;
  for (size_t begin = 0, end; begin < listing.size(); begin = end + 1) {
    end = listing.find('\n', begin);
    if (end == std::string::npos) end = listing.size();
    const std::string line = Trimmed(listing.substr(begin, end - begin));
    if (line.rfind("Path = ", 0) == 0) {
      if (inLauncher) return true;
      inLauncher = CompareStringOrdinal(Utf8ToWide(line.substr(7)).c_str(), -1, kLauncherExe + 1,
                                        -1, TRUE) == CSTR_EQUAL;
    } else if (inLauncher && line.rfind("Attributes = ", 0) == 0) {
      return line.compare(13, 1, "D") != 0;
    }
  }
  return inLauncher;
}

}  // namespace

std::string UnpackFailureReason(const std::string& output, const std::string& firstBytes) {
  std::vector<std::string> reasons;
  if (output.find("Enter password") != std::string::npos ||
      output.find("Wrong password") != std::string::npos) {
    reasons.push_back(
        "it is encrypted: 7zr.exe asks for a password, and the shortcut never gives one");
  }
  const std::string notArchive = NotA7zArchive(firstBytes);
  if (!notArchive.empty()) reasons.push_back(notArchive);

  // "ERROR: Unsupported Method : launcher.pck" once per file: grouped by the
  // reason, with the files it names.
  std::vector<std::pair<std::string, std::string>> grouped;
  for (size_t begin = 0, end; begin < output.size(); begin = end + 1) {
    end = output.find('\n', begin);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(begin, end - begin);
    const size_t at = line.find("ERROR: ");
    if (at == std::string::npos) continue;
    std::string text = Trimmed(line.substr(at + 7));
    // 7-Zip names the archive itself in a line of its own.
    if (text.empty() || text.find("launcher_install.7z") != std::string::npos) continue;
    std::string file;
    const size_t colon = text.rfind(" : ");
    if (colon != std::string::npos) {
      file = text.substr(colon + 3);
      text = text.substr(0, colon);
    }
    auto group = grouped.begin();
    while (group != grouped.end() && group->first != text) ++group;
    if (group == grouped.end()) {
      grouped.push_back({text, file});
    } else if (!file.empty()) {
      group->second += (group->second.empty() ? "" : ", ") + file;
    }
  }
  for (const auto& [text, files] : grouped) {
    std::string reason = "7-Zip says \"" + ValidUtf8(text) + "\"";
    if (!files.empty()) reason += " for " + ValidUtf8(files);
    if (text == "Unsupported Method") {
      reason +=
          " (7zr.exe decodes only Copy, LZMA, LZMA2, BCJ, BCJ2, the branch filters and "
          "Delta: not PPMd, BZip2, Deflate or zstd)";
    }
    reasons.push_back(reason);
  }
  if (reasons.empty()) return "7-Zip gives no reason";
  std::string joined;
  for (const std::string& reason : reasons) joined += (joined.empty() ? "" : "; ") + reason;
  return joined;
}

void UnpackArchive(const std::wstring& installDir, const std::wstring& outputPath,
                   ReleaseReport& report) {
  const std::wstring archive = installDir + kArchiveFile;
  const std::wstring extractor = installDir + kExtractorFile;
  // As the installation does before it extracts; it removes the marker as
  // its last step, which CheckInstalled follows.
  UniqueHandle(CreateFileW(/* lpFileName */ (installDir + kIncompleteMarker).c_str(),
                           /* dwDesiredAccess */ GENERIC_WRITE,
                           /* dwShareMode */ 0,
                           /* lpSecurityAttributes */ nullptr,
                           /* dwCreationDisposition */ CREATE_ALWAYS,
                           /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                           /* hTemplateFile */ nullptr));
  // As the shortcut waits before it starts 7zr.exe, whose first open of the
  // archive would otherwise meet the hold.
  if (!WaitUntilArchiveOpens(archive) && GaveUpOnHeldFile(installDir, report)) {
    report.unpackSkipped =
        "the archive stayed held by another program, so 7zr.exe was not started on it";
    DeleteFileWhileHeld(archive);
    GaveUpOnHeldFile(installDir, report);
    DeleteFileWhileHeld(extractor);
    GaveUpOnHeldFile(installDir, report);
    return;
  }
  const std::string firstBytes = FirstBytes(archive, 8);
  std::optional<DWORD> exitCode;
  DWORD startError = 0;
  bool startHeld = false;
  std::string output;
  const auto start = std::chrono::steady_clock::now();
  {
    UniqueHandle file(
        CreateFileW(/* lpFileName */ outputPath.c_str(),
                    /* dwDesiredAccess */ GENERIC_READ | GENERIC_WRITE,
                    /* dwShareMode */ FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    /* lpSecurityAttributes */ nullptr,
                    /* dwCreationDisposition */ CREATE_ALWAYS,
                    /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                    /* hTemplateFile */ nullptr));
    exitCode = RunHiddenProcessForExitCode(ExtractorCommandLine(installDir), file.get());
    if (!exitCode) startError = GetLastError();
    startHeld = GaveUpOnHeldFile(installDir, report);
    if (exitCode && *exitCode != 0 && file) output = ReadBack(file.get());
  }
  report.unpackSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Before the archive goes, which would give the space back: a failure on a
  // volume left full is a lack of space, whatever 7-Zip says.
  ULARGE_INTEGER free = {};
  if (GetDiskFreeSpaceExW(installDir.c_str(), &free, nullptr, nullptr)) {
    report.unpackFreeBytes = free.QuadPart;
  }
  // Asked only when launcher.exe is gone after an unpack that wrote it: was
  // it ever in the archive, or did something remove it as soon as it was
  // written? Security software that removes it before 7-Zip has set its
  // attributes makes 7-Zip fail on a file it can no longer find.
  const bool lostFile = output.find("launcher.exe") != std::string::npos &&
                        (output.find("File not found") != std::string::npos ||
                         output.find("cannot find the file") != std::string::npos);
  if (exitCode && (*exitCode == 0 || lostFile) && !IsEntryPresent(installDir + kLauncherExe)) {
    report.launcherListed = ListsTopLauncher(installDir);
  }
  // The shortcut deletes the archive too, whatever the outcome; the
  // extractor it keeps is not the archive's, so it is not counted.
  DeleteFileWhileHeld(archive);
  GaveUpOnHeldFile(installDir, report);
  DeleteFileWhileHeld(extractor);
  GaveUpOnHeldFile(installDir, report);

  if (!exitCode) {
    // An extractor the hold kept from starting says nothing of the release.
    if (startHeld) return;
    report.findings.push_back({"extractor-unavailable", true,
                               "7zr.exe could not be started here (Windows error " +
                                   std::to_string(startError) + "), so the archive is unchecked"});
    return;
  }
  report.unpackRan = true;
  report.unpackExitCode = *exitCode;
  if (*exitCode != 0) {
    report.findings.push_back(
        {"archive-unreadable", true,
         "7zr.exe cannot unpack the archive (exit code " + std::to_string(*exitCode) +
             "): " + UnpackFailureReason(output, firstBytes) + "; every installation fails"});
    return;
  }
  CheckInstalled(installDir, report);
  // What a hold kept from being deleted would be counted as the archive's.
  if (!report.heldFile.happened) CountUnpacked(installDir, report);
}
