#include "check/check_command.h"

#include <windows.h>

#include "app/game_config.h"
#include "check/console_output.h"
#include "check/diagnose/diagnose_command.h"
#include "check/file_bytes.h"
#include "check/game/check_report.h"
#include "check/game/folder_check.h"
#include "check/game/preview_frames.h"
#include "check/game/report_json.h"
#include "check/game/report_text.h"
#include "check/release/release_command.h"
#include "check/wide_to_utf8.h"
#include "splash/gdiplus_include.h"

namespace {

constexpr char kUsage[] =
    "usage: nolm-check [--json] [--preview <out folder>] <game folder>\n"
    "       nolm-check [--json] --release <folder> [--extractor <7zr.exe>] [--key <key>]...\n"
    "       nolm-check [--json] --host <host> [--release <folder>] [--key <key>]...\n"
    "       nolm-check --diagnose [--json] [--host <host>] [--report <file>] [<game folder>]\n"
    "Tells what nolm-shortcut.exe will do with the game folder that holds it\n"
    "and its nolm\\ folder, and warns where it may not be what you meant.\n"
    "--preview writes first-frame.png and installing.png, the splash as the\n"
    "player sees it, into <out folder>.\n"
    "With --release and --host: what a player's first installation makes of\n"
    "the launcher release in <folder> (launcher\\version.json and\n"
    "launcher\\launcher.7z) and of what <host> serves, unpacked by the pinned\n"
    "7zr.exe (--extractor, or the one the shortcut downloads). With --key (a\n"
    "P-256 public key in base64, or a PEM file of one; repeatable), as a\n"
    "shortcut pinning those keys: launcher\\version.json.sig must verify.\n"
    "With --diagnose, on a player's machine: the installation in\n"
    "%USERPROFILE%\\Nolm\\Launcher, the machine, and a first installation\n"
    "replayed with this build's hosts and keys beside it, ending in one\n"
    "verdict; --report also writes it to <file>. Double-clicked, it writes\n"
    "nolm-report.txt beside itself.\n"
    "Exit code: 0 fine, 1 the configuration is refused or the installation\n"
    "fails, 2 it runs with warnings (the diagnosis: another copy installs\n"
    "now), 64 bad usage, 73 a picture could not be\n"
    "written, 74 the report could not be written whole.\n";

// A trailing separator would double the one before "nolm"; a root keeps its own.
std::wstring WithoutTrailingSeparator(std::wstring folder) {
  while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/') &&
         !(folder.size() == 3 && folder[1] == L':')) {
    folder.pop_back();
  }
  return folder;
}

// The shortcut appends "/nolm" and the like to its folder, which a path
// written with the \\?\ prefix does not allow: such a folder is taken in
// without the prefix, as the shortcut's own module path has none.
std::wstring WithoutVerbatimPrefix(const std::wstring& folder) {
  if (folder.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + folder.substr(7);
  if (folder.rfind(L"\\\\?\\", 0) == 0) return folder.substr(4);
  return folder;
}

int Usage(const std::wstring& error) {
  WriteStd(STD_ERROR_HANDLE, "nolm-check: " + WideToUtf8(error) + "\n" + kUsage);
  return kExitUsage;
}

}  // namespace

CheckArguments ParseCheckArguments(const std::vector<std::wstring>& arguments) {
  CheckArguments parsed;
  std::wstring* value = nullptr;  // where the option before takes the next argument
  for (const std::wstring& argument : arguments) {
    if (value != nullptr) {
      if (argument.empty()) break;
      *value = argument;
      value = nullptr;
    } else if (argument == L"--release" || argument == L"--host" || argument == L"--extractor") {
      value = argument == L"--release" ? &parsed.release
              : argument == L"--host"  ? &parsed.host
                                       : &parsed.extractor;
      if (!value->empty()) {
        parsed.error = argument + L" given twice";
        return parsed;
      }
    } else if (argument == L"--key") {
      value = &parsed.keys.emplace_back();
    } else if (argument == L"--preview") {
      value = &parsed.previewFolder;
    } else if (argument == L"--report") {
      value = &parsed.reportFile;
    } else if (argument == L"--diagnose") {
      parsed.diagnose = true;
    } else if (argument == L"--json") {
      parsed.json = true;
    } else if (argument == L"--help" || argument == L"-h") {
      parsed.help = true;
      return parsed;
    } else if (argument.size() > 1 && argument[0] == L'-') {
      parsed.error = L"unknown option " + argument;
      return parsed;
    } else if (!parsed.folder.empty()) {
      parsed.error = L"more than one game folder given";
      return parsed;
    } else {
      parsed.folder = argument;
    }
  }
  const bool release = !parsed.release.empty() || !parsed.host.empty();
  if (value == &parsed.previewFolder) {
    parsed.error = L"--preview needs an out folder";
  } else if (value == &parsed.reportFile) {
    parsed.error = L"--report needs a file";
  } else if (value != nullptr) {
    parsed.error = L"--release, --host, --extractor and --key each need a value after them";
  } else if (parsed.diagnose) {
    // This build's own release, keys and extractor host are what a player meets.
    if (!parsed.release.empty() || !parsed.extractor.empty() || !parsed.keys.empty() ||
        !parsed.previewFolder.empty()) {
      parsed.error = L"--diagnose takes only --json, --host, --report and a game folder";
    } else {
      parsed.ok = true;
    }
  } else if (!parsed.reportFile.empty()) {
    parsed.error = L"--report goes with --diagnose";
  } else if (value != nullptr) {
    parsed.error = L"--release, --host, --extractor and --key each need a value after them";
  } else if (release && (!parsed.folder.empty() || !parsed.previewFolder.empty())) {
    parsed.error = L"a game folder and --release or --host are checked separately";
  } else if (!parsed.extractor.empty() && !release) {
    parsed.error = L"--extractor goes with --release or --host";
  } else if (!parsed.keys.empty() && !release) {
    parsed.error = L"--key goes with --release or --host";
  } else if (!release && parsed.folder.empty()) {
    parsed.error = L"no game folder given";
  } else {
    parsed.ok = true;
  }
  return parsed;
}

int RunCheckCommand(int argc, wchar_t** argv) {
  // Double-clicked: a player who was asked to run it, with no terminal to type in.
  if (argc <= 1 && IsAloneInConsole()) return RunDiagnoseByDoubleClick();
  const CheckArguments arguments =
      ParseCheckArguments(std::vector<std::wstring>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (arguments.help) {
    WriteStd(STD_OUTPUT_HANDLE, kUsage);
    return kExitFine;
  }
  if (!arguments.ok) return Usage(arguments.error);
  if (arguments.diagnose) {
    return RunDiagnoseCommand(arguments.json, arguments.host, arguments.reportFile,
                              WithoutTrailingSeparator(WithoutVerbatimPrefix(arguments.folder)));
  }
  if (!arguments.release.empty() || !arguments.host.empty()) {
    return RunReleaseCommand(arguments.json, WithoutTrailingSeparator(arguments.release),
                             arguments.host, arguments.extractor, arguments.keys);
  }
  const std::wstring folder = WithoutTrailingSeparator(WithoutVerbatimPrefix(arguments.folder));
  if (!IsFolderPresent(folder)) return Usage(L"no such folder: " + arguments.folder);

  Gdiplus::GdiplusStartupInput startupInput;
  ULONG_PTR gdiplusToken = 0;
  if (Gdiplus::GdiplusStartup(&gdiplusToken, &startupInput, nullptr) != Gdiplus::Ok) {
    WriteStd(STD_ERROR_HANDLE, "nolm-check: GDI+ could not start, so no image can be checked\n");
    return kExitCannotCheck;
  }
  // Every image the check loads is released inside it, before the shutdown.
  CheckReport report = CheckGameFolder(folder);
  const bool previewUnwritten =
      !arguments.previewFolder.empty() &&
      !AddPreview(WithoutTrailingSeparator(arguments.previewFolder), folder + kNolmFolder, report);
  Gdiplus::GdiplusShutdown(gdiplusToken);

  const std::string text =
      arguments.json ? JsonReport(report) : TextReport(WideToUtf8(arguments.folder), report);
  // A pipeline must not take a cut report, behind a passing exit code, for a whole one.
  if (!WriteStd(STD_OUTPUT_HANDLE, text)) {
    WriteStd(STD_ERROR_HANDLE,
             "nolm-check: the report could not be written whole (is the disk full or the "
             "output closed?)\n");
    return kExitReportUnwritten;
  }
  return previewUnwritten ? kExitPreviewUnwritten : CheckExitCode(report);
}
