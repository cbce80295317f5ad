// LaunchWorker on its own thread, as the main loop runs it. The test thread
// stands in for the splash window: it owns a message-only window stored in
// gSplashWindow, pumps it, and records what the worker posts and what the
// status channel held at that moment.
#include "app/launch_worker.h"

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/install_lock.h"
#include "app/status_channel.h"
#include "app/user_messages.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;
using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr char kExtractorUrl[] = "/ip7z/7zip/releases/download/26.01/7zr.exe";

bool ArchiveRequested() {
  for (const LoggedRequest& request : LoggedRequests()) {
    if (request.path == "/launcher/launcher.7z") return true;
  }
  return false;
}

// What the splash window would have seen of one worker run.
struct WorkerRun {
  Clock::time_point start;
  int refreshes = 0;
  int dones = 0;
  int32_t progressAtFirstRefresh = -2;
  bool archiveRequestedAtFirstRefresh = false;
  std::wstring errorAtDone;
  bool launcherWindowAtDone = false;
  Clock::duration untilDone{};
};

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* run = reinterpret_cast<WorkerRun*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (run && message == WM_SPLASH_REFRESH) {
    if (run->refreshes++ == 0) {
      run->progressAtFirstRefresh = gProgress.load();
      run->archiveRequestedAtFirstRefresh = ArchiveRequested();
    }
    return 0;
  }
  if (run && message == WM_SPLASH_DONE) {
    if (run->dones++ == 0) {
      // The real window reads the error text right here, so it must be set already.
      run->errorAtDone = gPendingError;
      run->untilDone = Clock::now() - run->start;
      HWND launcher = FindWindowW(L"NolmTestLauncher", nullptr);
      run->launcherWindowAtDone = launcher && IsWindowVisible(launcher);
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void DispatchPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// Runs LaunchWorker to its end and returns what it posted. `limit` bounds the
// wait for WM_SPLASH_DONE only; the worker is joined in any case.
WorkerRun RunWorker(Clock::duration limit = seconds(30)) {
  static const ATOM windowClass = [] {
    WNDCLASSW standIn = {};
    standIn.lpfnWndProc = StandInProc;
    standIn.hInstance = GetModuleHandleW(nullptr);
    standIn.lpszClassName = L"NolmWorkerTestSplash";
    return RegisterClassW(&standIn);
  }();
  WorkerRun run;
  HWND window = CreateWindowExW(0, MAKEINTATOM(windowClass), L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(window, nullptr);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&run));
  gSplashWindow = window;

  run.start = Clock::now();
  std::thread worker(LaunchWorker);
  while (run.dones == 0 && Clock::now() - run.start < limit) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    DispatchPending();
  }
  EXPECT_EQ(run.dones, 1) << "no WM_SPLASH_DONE in time";
  worker.join();
  DispatchPending();  // every post of the worker is queued by now: count them all
  DestroyWindow(window);
  return run;
}

// Ends every process running `exe`; returns how many were still running.
int EndProcessesOf(const fs::path& exe) {
  int ended = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                    entry.th32ProcessID);
    if (!process) continue;
    wchar_t image[MAX_PATH * 4] = {};
    DWORD size = MAX_PATH * 4;
    if (QueryFullProcessImageNameW(process, 0, image, &size) &&
        CompareStringOrdinal(image, -1, exe.c_str(), -1, TRUE) == CSTR_EQUAL &&
        WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process, 0);
      WaitForSingleObject(process, 5000);
      ++ended;
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return ended;
}

void ResetStatusChannel() {
  gSplashWindow = nullptr;
  gGameSlug.clear();
  gProgress = -1;
  gPendingError.clear();
}

class LaunchWorkerTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    savedProfile_ = Env(L"USERPROFILE");
    fs::create_directories(profile_);
    SetEnvironmentVariableW(L"USERPROFILE", profile_.c_str());
    ResetStatusChannel();
  }

  void TearDown() override {
    EndProcessesOf(dir_ / "launcher.exe");  // else the profile folder cannot go
    SetEnvironmentVariableW(L"USERPROFILE", savedProfile_.c_str());
    ResetStatusChannel();
  }

  // The test launcher as launcher.exe, acting per `mode` (see test_launcher.cpp).
  void PlaceLauncher(const char* mode, bool withPack = true) {
    fs::create_directories(dir_);
    fs::copy_file(TestData() / "test_launcher.exe", dir_ / "launcher.exe");
    if (withPack) WriteBytes(dir_ / "launcher.pck", "pack");
    WriteBytes(dir_ / "mode.txt", mode);
  }

  void ServeRelease() {
    ServeBytes("localhost", "/launcher/version.json", R"({"version": "1.0.0"})");
    ServeFile("localhost", "/launcher/launcher.7z", TestData() / "launcher.7z");
    ServeFile("127.0.0.2", kExtractorUrl, TestData() / "7zr.exe");
  }

  // Lines of "<command line>|<current directory>", one per launcher start.
  std::vector<std::wstring> LaunchLog() const {
    const std::string bytes = ReadBytes(dir_ / "launch.log");
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    std::vector<std::wstring> lines;
    for (size_t begin = 0, end; (end = text.find(L'\n', begin)) != std::wstring::npos;
         begin = end + 1) {
      lines.push_back(text.substr(begin, end - begin));
    }
    return lines;
  }

  std::wstring Dir() const { return dir_.wstring(); }

  TempFolder temp_;
  // A space inside the profile's own name, so an unquoted launcher path would
  // start <temp>\Player.exe (see the decoy below).
  fs::path profile_ = temp_.path() / "Player One";
  // What InstallDirectory() makes of USERPROFILE, spelled out independently.
  fs::path dir_ = profile_.wstring() + L"\\Nolm\\Launcher";
  std::wstring savedProfile_;
};

// ---- launcher already installed -------------------------------------------

TEST_F(LaunchWorkerTest, InstalledLauncherStartsWithTheGameInItsFolder) {
  PlaceLauncher("window");
  // What Windows would run if the path were not quoted: "<temp>\Player" + ".exe".
  fs::copy_file(TestData() / "exit_code.exe", temp_.path() / "Player.exe");
  gGameSlug = L"space-race";

  const WorkerRun run = RunWorker();

  EXPECT_TRUE(LoggedRequests().empty());
  EXPECT_EQ(run.refreshes, 0);
  EXPECT_EQ(gProgress.load(), -1);
  EXPECT_EQ(run.dones, 1);
  EXPECT_EQ(run.errorAtDone, L"");
  // The launcher closes its window after 3 s: still showing means the worker
  // stopped at the window, not at the process's end.
  EXPECT_TRUE(run.launcherWindowAtDone);
  EXPECT_EQ(LaunchLog(), std::vector<std::wstring>{L"\"" + Dir() +
                                                   L"\\launcher.exe\" --game=space-race|" + Dir()});
  EXPECT_FALSE(IsFile(temp_.path() / "Player.exe.ran")) << "the decoy ran";
}

TEST_F(LaunchWorkerTest, LauncherThatEndsAtOnceEndsTheWaitWithoutSlug) {
  PlaceLauncher("exit");

  const WorkerRun run = RunWorker();

  EXPECT_EQ(run.dones, 1);
  EXPECT_EQ(run.errorAtDone, L"");
  EXPECT_EQ(LaunchLog(), std::vector<std::wstring>{L"\"" + Dir() + L"\\launcher.exe\"|" + Dir()});
  // The full window wait is 10 s; the launcher's end must cut it short. The
  // bound is that wait, not a speed requirement.
  EXPECT_LT(run.untilDone, seconds(8));
}

// Costs the whole 10 s window wait, so it is the only test of it. The
// launcher has a window that it never shows, and a visible window that is not
// the launcher's is up, as the splash is: neither may end the wait.
TEST_F(LaunchWorkerTest, LauncherWithoutVisibleWindowIsLeftRunningAfterTheWait) {
  PlaceLauncher("invisible");
  HWND otherWindow =
      CreateWindowExW(0, L"STATIC", L"not the launcher", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(otherWindow && IsWindowVisible(otherWindow))
      << "no visible top-level window can be made here: is the Wine desktop on the display?";

  const WorkerRun run = RunWorker();
  DestroyWindow(otherWindow);

  EXPECT_EQ(run.dones, 1);
  EXPECT_EQ(run.errorAtDone, L"");
  EXPECT_GE(run.untilDone, seconds(9));
  EXPECT_EQ(LaunchLog().size(), 1u);
  EXPECT_EQ(EndProcessesOf(dir_ / "launcher.exe"), 1) << "the launcher was not left running";
}

TEST_F(LaunchWorkerTest, UnstartableLauncherLeavesTheStartFailureMessage) {
  fs::create_directories(dir_);
  WriteBytes(dir_ / "launcher.exe", "not a program\r\n");
  WriteBytes(dir_ / "launcher.pck", "pack");
  gGameSlug = L"space-race";

  const WorkerRun run = RunWorker();

  EXPECT_TRUE(LoggedRequests().empty());
  EXPECT_EQ(run.refreshes, 0);
  EXPECT_EQ(run.dones, 1);
  EXPECT_EQ(run.errorAtDone, UserMessageText(UserMessage::kStartFailed, IsFrenchUi()));
  EXPECT_EQ(gPendingError, run.errorAtDone);
}

// ---- launcher missing: installation first -----------------------------------

TEST_F(LaunchWorkerTest, MissingPackInstallsThenStarts) {
  PlaceLauncher("exit", /* withPack */ false);
  ServeRelease();
  // Holds the installation back, so the worker's own refresh is seen before
  // the archive download has begun.
  SetServerRules(R"({"/launcher/version.json": {"headers_delay_ms": 1000}})");
  gGameSlug = L"space-race";

  const WorkerRun run = RunWorker();

  EXPECT_EQ(LoggedRequests().size(), 3u);
  EXPECT_EQ(run.progressAtFirstRefresh, 0);
  EXPECT_FALSE(run.archiveRequestedAtFirstRefresh);
  EXPECT_GE(run.refreshes, 2);  // the worker's, then the download's
  EXPECT_EQ(gProgress.load(), 1000);
  EXPECT_EQ(run.dones, 1);
  EXPECT_EQ(run.errorAtDone, L"");
  EXPECT_TRUE(fs::is_regular_file(dir_ / "launcher.pck"));
  EXPECT_EQ(LaunchLog(), std::vector<std::wstring>{L"\"" + Dir() +
                                                   L"\\launcher.exe\" --game=space-race|" + Dir()});
}

TEST_F(LaunchWorkerTest, FolderNamedLauncherExeCountsAsMissing) {
  fs::create_directories(dir_ / "launcher.exe");
  WriteBytes(dir_ / "launcher.pck", "pack");
  WriteBytes(dir_ / "mode.txt", "exit");
  ServeRelease();

  const WorkerRun run = RunWorker();

  EXPECT_EQ(LoggedRequests().size(), 3u);
  EXPECT_EQ(run.progressAtFirstRefresh, 0);
  EXPECT_EQ(run.dones, 1);
  // 7-Zip replaces the empty folder with the archive's launcher.exe.
  EXPECT_EQ(run.errorAtDone, L"");
  EXPECT_TRUE(fs::is_regular_file(dir_ / "launcher.exe"));
  EXPECT_EQ(LaunchLog().size(), 1u);
}

TEST_F(LaunchWorkerTest, InstallFailureLeavesItsMessageAndStartsNothing) {
  // launcher.exe alone would start; the failed installation must stop it.
  PlaceLauncher("exit", /* withPack */ false);

  const WorkerRun run = RunWorker();

  EXPECT_EQ(LoggedRequests().size(), 1u);
  EXPECT_EQ(run.refreshes, 1);
  EXPECT_EQ(run.progressAtFirstRefresh, 0);
  EXPECT_EQ(gProgress.load(), 0);
  EXPECT_EQ(run.dones, 1);
  EXPECT_EQ(run.errorAtDone, UserMessageText(UserMessage::kInstallFailed, IsFrenchUi()));
  EXPECT_EQ(gPendingError, run.errorAtDone);
  EXPECT_TRUE(LaunchLog().empty()) << "the launcher was started";
}

// Another copy of the program holds the installation mutex (under another
// spelling of the same folder), installs, and dies without releasing it: the
// worker waits for it, takes the abandoned mutex and starts what it left.
TEST_F(LaunchWorkerTest, WaitsForAnotherCopysInstallationThenStartsWhatItLeft) {
  ServeRelease();
  std::wstring otherSpelling = Dir();
  CharUpperBuffW(otherSpelling.data(), static_cast<DWORD>(otherSpelling.size()));
  HANDLE acquired = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE mutex = nullptr;
  std::thread otherCopy([&] {
    mutex = CreateMutexW(nullptr, TRUE, InstallMutexName(otherSpelling).c_str());
    SetEvent(acquired);
    Sleep(500);
    PlaceLauncher("exit");
  });  // ends still owning the mutex, whose handle stays open: abandoned
  ASSERT_EQ(WaitForSingleObject(acquired, 5000), WAIT_OBJECT_0);

  const WorkerRun run = RunWorker();
  otherCopy.join();
  CloseHandle(mutex);
  CloseHandle(acquired);

  EXPECT_TRUE(LoggedRequests().empty()) << "installed beside the other copy";
  EXPECT_EQ(run.refreshes, 0);
  EXPECT_EQ(run.errorAtDone, L"");
  EXPECT_EQ(LaunchLog().size(), 1u);
}

}  // namespace
