#include "app/launch_worker.h"

#include "app/install_lock.h"
#include "app/status_channel.h"
#include "app/user_messages.h"
#include "common/held_file_patience.h"
#include "install/install_launcher.h"
#include "install/install_paths.h"

namespace {

constexpr int kWindowWaitPasses = 100;
constexpr DWORD kWindowWaitStepMs = 100;

// Starts the launcher in its own folder; false when it cannot be created.
bool StartLauncher(const std::wstring& installDir, const std::wstring& launcherExe) {
  std::wstring commandLine = LauncherCommandLine(launcherExe, gGameSlug);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // Right after an installation launcher.exe is a new file, which security
  // software may still be reading.
  const auto start = [&] {
    return CreateProcessW(/* lpApplicationName */ nullptr,
                          /* lpCommandLine */ commandLine.data(),
                          /* lpProcessAttributes */ nullptr,
                          /* lpThreadAttributes */ nullptr,
                          /* bInheritHandles */ FALSE,
                          /* dwCreationFlags */ 0,
                          /* lpEnvironment */ nullptr,
                          /* lpCurrentDirectory */ installDir.c_str(),
                          /* lpStartupInfo */ &startup,
                          /* lpProcessInformation */ &process) != FALSE;
  };
  if (!RetryWhileHeld(HeldFileStep::kStart, launcherExe, start)) return false;
  WaitForProcessWindow(process.hProcess, process.dwProcessId);
  // The launcher outlives us: it is neither waited for further nor ended.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Installs the launcher unless a finished installation is there; false when
// the installation failed. Another copy of the program may be installing into
// the same folder right now: the lock waits for it, and the presence test
// then sees its result instead of racing it for the same files.
bool EnsureLauncherInstalled(const std::wstring& installDir) {
  const InstallLock lock(installDir);
  if (IsLauncherInstalled(installDir)) return true;
  PublishProgress(0);
  return InstallLauncher(installDir);
}

}  // namespace

std::wstring LauncherCommandLine(const std::wstring& launcherExe, const std::wstring& slug) {
  std::wstring commandLine = L"\"" + launcherExe + L"\"";
  if (!slug.empty()) commandLine += L" --game=" + slug;
  return commandLine;
}

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<WindowSearch*>(lParam);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == search->processId && IsWindowVisible(window)) {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

void WaitForProcessWindow(HANDLE process, DWORD processId) {
  for (int pass = 0; pass < kWindowWaitPasses; ++pass) {
    WindowSearch search;
    search.processId = processId;
    EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) return;
    if (WaitForSingleObject(process, kWindowWaitStepMs) == WAIT_OBJECT_0) return;
  }
}

void LaunchWorker() {
  const std::wstring installDir = InstallDirectory();
  const std::wstring launcherExe = installDir + kLauncherExe;
  if (!EnsureLauncherInstalled(installDir)) {
    gPendingError = LocalizedMessage(UserMessage::kInstallFailed);
  } else if (!StartLauncher(installDir, launcherExe)) {
    gPendingError = LocalizedMessage(UserMessage::kStartFailed);
  }
  PostToSplash(WM_SPLASH_DONE);
}
