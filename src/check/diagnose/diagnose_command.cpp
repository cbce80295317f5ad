#include "check/diagnose/diagnose_command.h"

#include <windows.h>

#include <chrono>

#include "app/game_config.h"
#include "check/console_output.h"
#include "check/diagnose/certificate_look.h"
#include "check/diagnose/diagnosis_verdict.h"
#include "check/diagnose/diagnosis_writers.h"
#include "check/diagnose/installation_look.h"
#include "check/diagnose/machine_facts.h"
#include "check/diagnose/profile_scrub.h"
#include "check/exit_codes.h"
#include "check/file_bytes.h"
#include "check/game/config_warnings.h"
#include "check/release/release_check.h"
#include "check/release/release_keys.h"
#include "check/wide_to_utf8.h"
#include "common/handles.h"
#include "deployment.h"
#include "install/install_paths.h"

namespace {

constexpr wchar_t kDoubleClickReport[] = L"nolm-report.txt";

int Usage(const std::string& error) {
  WriteStd(STD_ERROR_HANDLE, "nolm-check: " + error + "\n(nolm-check --help shows the usage)\n");
  return kExitUsage;
}

// The shortcut's own judgement of the game folder's configuration.
void JudgeGameFolder(const std::wstring& gameFolder, DiagnosisReport& report) {
  const std::wstring configPath = gameFolder + kNolmFolder + kConfigFile;
  const std::string configText = ReadConfigText(configPath);
  const GameConfig config = EvaluateConfig(configText);
  report.configValid = config.valid;
  if (config.valid) return;
  std::vector<CheckWarning> warnings;
  AddConfigWarnings(configPath, configText, config, warnings);
  for (const CheckWarning& warning : warnings) {
    if (warning.code == "config-refused") report.configRefusal = warning.message;
  }
}

// Whether a file can be made in `folder`: one that deletes itself as its
// handle closes, so nothing is left. Windows' error when it cannot.
DWORD WriteProbe(const std::wstring& folder) {
  const std::wstring probe =
      folder + L"\\nolm-check-" + std::to_wstring(GetCurrentProcessId()) + L".probe";
  const UniqueHandle file(
      CreateFileW(/* lpFileName */ probe.c_str(),
                  /* dwDesiredAccess */ GENERIC_WRITE,
                  /* dwShareMode */ 0,
                  /* lpSecurityAttributes */ nullptr,
                  /* dwCreationDisposition */ CREATE_NEW,
                  /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                  /* hTemplateFile */ nullptr));
  return file ? 0 : GetLastError();
}

// The replay in a scratch folder beside the install folder, which must be on
// the same volume with the same permissions; the scratch folder makes the
// folder above it when missing, and removes it again.
void Replay(const std::wstring& installDir, const std::wstring& host, DiagnosisReport& report) {
  const std::wstring nearest = NearestExistingFolder(installDir);
  const DWORD probeError = nearest.empty() ? ERROR_PATH_NOT_FOUND : WriteProbe(nearest);
  if (probeError != 0) {
    report.unwritableFolder = WideToUtf8(nearest.empty() ? ParentDirectory(installDir) : nearest);
    report.unwritableError = probeError;
    return;
  }
  const std::wstring parent = ParentDirectory(installDir);
  ReleaseInputs inputs;
  inputs.host = host;
  inputs.keys = PinnedReleaseKeys();
  inputs.scratchParent = parent;
  report.replay.host = WideToUtf8(host);
  report.replay.keys = inputs.keys;
  unsigned long scratchError = 0;
  report.replayed = CheckRelease(inputs, report.replay, &scratchError);
  if (!report.replayed) {
    report.unwritableFolder = WideToUtf8(parent);
    report.unwritableError = scratchError;
  }
}

// Writes `text` to `path` whole, in UTF-8; false when it could not.
bool WriteReportFile(const std::wstring& path, const std::string& text) {
  const UniqueHandle file(CreateFileW(/* lpFileName */ path.c_str(),
                                      /* dwDesiredAccess */ GENERIC_WRITE,
                                      /* dwShareMode */ 0,
                                      /* lpSecurityAttributes */ nullptr,
                                      /* dwCreationDisposition */ CREATE_ALWAYS,
                                      /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                      /* hTemplateFile */ nullptr));
  DWORD written = 0;
  return file &&
         WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

DiagnosisReport Diagnose(const std::wstring& host, const std::wstring& gameFolder) {
  const auto start = std::chrono::steady_clock::now();
  DiagnosisReport report;
  const std::wstring installDir = InstallDirectory();
  report.installFolder = WideToUtf8(installDir);
  report.host = WideToUtf8(host);
  if (!gameFolder.empty()) {
    report.gameFolder = WideToUtf8(gameFolder);
    JudgeGameFolder(gameFolder, report);
  }
  report.installation = LookAtInstallation(installDir);
  report.machine = ReadMachineFacts(installDir);
  // Neither changes what a start meets first, and a replay beside another
  // copy's installation would only slow it down.
  if (report.configValid && !report.installation.lockHeld) {
    Replay(installDir, host, report);
    if (const RequestReport* refused = RefusedCertificateRequest(report.replay)) {
      report.certificate = LookAtCertificate(refused->url);
    }
  }
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  report.verdict = DecideVerdict(report);
  return report;
}

}  // namespace

int RunDiagnoseCommand(bool json, const std::wstring& host, const std::wstring& reportFile,
                       const std::wstring& gameFolder) {
  if (!gameFolder.empty() && !IsFolderPresent(gameFolder)) {
    return Usage("no such folder: " + WideToUtf8(gameFolder));
  }
  if (host.find_first_of(L"/\\") != std::wstring::npos) {
    return Usage("give --host a host name alone, without https:// or a path: " + WideToUtf8(host));
  }
  const DiagnosisReport report = Diagnose(host.empty() ? kDownloadHost : host, gameFolder);
  const std::string text = WithoutThisUsersNames(DiagnosisTextReport(report));
  bool whole =
      WriteStd(STD_OUTPUT_HANDLE, json ? WithoutThisUsersNames(DiagnosisJsonReport(report)) : text);
  if (!reportFile.empty() && !WriteReportFile(reportFile, text)) whole = false;
  // A pipeline must not take a cut report, behind a passing exit code, for a whole one.
  if (!whole) {
    WriteStd(STD_ERROR_HANDLE,
             "nolm-check: the report could not be written whole (is the disk full or the "
             "output closed?)\n");
    return kExitReportUnwritten;
  }
  return report.verdict.exitCode;
}

bool IsAloneInConsole() {
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
}

int RunDiagnoseByDoubleClick() {
  WriteStd(STD_OUTPUT_HANDLE,
           "nolm-check: finding out why the Nolm Launcher does not install on this machine...\n");
  const DiagnosisReport report = Diagnose(kDownloadHost, L"");
  const std::string text = WithoutThisUsersNames(DiagnosisTextReport(report));
  WriteStd(STD_OUTPUT_HANDLE, text);

  // Beside the program, where the player found it; else the temporary folder.
  std::wstring path;
  std::wstring module(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, module.data(), 32768);
  if (length > 0 && length < 32768) {
    module.resize(length);
    path = ParentDirectory(module) + L"\\" + kDoubleClickReport;
  }
  if (path.empty() || !WriteReportFile(path, text)) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD tempLength = GetTempPathW(MAX_PATH + 1, temp);
    path = tempLength > 0 && tempLength <= MAX_PATH
               ? std::wstring(temp, tempLength) + kDoubleClickReport
               : std::wstring();
    if (!path.empty() && !WriteReportFile(path, text)) path.clear();
  }
  WriteStd(STD_OUTPUT_HANDLE,
           path.empty() ? std::string("\nThe report could not be saved: copy the text above.\n")
                        : "\nThe report is saved as " + WithoutThisUsersNames(WideToUtf8(path)) +
                              ": send that file to the game's support.\n");
  WriteStd(STD_OUTPUT_HANDLE, "Press Enter to close this window.");
  wchar_t line[16];
  DWORD read = 0;
  ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), line, 16, &read, nullptr);
  return path.empty() ? kExitReportUnwritten : report.verdict.exitCode;
}
