// End-to-end driver: starts a program and watches what a user would see of it,
// from the Windows side, so that the Linux test can check it afterwards.
//
//   driver.exe --report=FILE [--exe=PROGRAM] [--args=TEXT] [--env=NAME=VALUE]...
//              [--capture=MS:FILE.bmp]... [--close-after=MS] [--wait-launcher=MS]
//              [--memory] [--kill-when=PATH] [--watch-launcher=MS] [--timeout=MS]
//              [--hidden | --new-console]
//
//   --report         where the report goes (UTF-8, one key=value a line)
//   --exe            the program to start; without it only the driver's own
//                    UI language is reported (a probe of the environment)
//   --args           appended, after a space, to the program's command line
//   --env            set NAME to VALUE for the program; an empty VALUE unsets it
//   --capture        after the splash first became visible plus MS, copy its
//                    on-screen pixels into a 24-bit BMP
//   --close-after    post WM_CLOSE to the splash MS after it first became visible
//   --capture-launcher=FILE.bmp  once the launcher's window has been up for a
//                    moment, copy its on-screen pixels into a 24-bit BMP
//   --wait-launcher  after the program's exit, keep watching up to MS for a new
//                    visible window of the test launcher (any process)
//   --watch-launcher once that window showed and the program exited, watch it
//                    MS longer (launcher_gone_ms: when it went)
//   --hidden         start the program as the shortcut starts its extractor:
//                    CREATE_NO_WINDOW and SW_HIDE (benchmarks: the floor of a
//                    hidden extraction)
//   --new-console    start the program in a console of its own, as Explorer
//                    starts a console program that is double-clicked
//   --memory         read the program's memory counters at every poll while it
//                    runs (benchmarks; the reads cost a little time each)
//   --kill-when      as soon as PATH exists, terminate the program alone, as
//                    Task Manager does (polled every millisecond while it
//                    runs), then watch up to 1 s for every 7zr.exe to be gone
//   --timeout        overall limit (default 60000); a program still running then
//                    is terminated and reported as timed out
//
// Times are milliseconds since just before the program was started
// (start_unix_us: that moment on the system clock, to line the report up with
// the fixture server's request log); -1 means "never". Every message box of
// the program is answered with OK once read.
//
// Report keys: ui_language, started, start_error, child_pid, splash_found,
// splash_class, splash_title, splash_rect (left,top,right,bottom),
// splash_visible_ms, splash_hidden_ms, splash_gone_ms, box_count,
// box.N.{ms,caption,text,splash_visible}, capture_count,
// capture.N.{ms,ok,path}, close_posted_ms, killed_ms, extractors_at_kill
// (7zr.exe processes running just before the kill), extractors_gone_ms (after
// the kill; -1: one still ran 1 s later), launcher_window_ms, launcher_title,
// launcher_gone_ms, exit_code (-1 while running), exit_ms, timed_out,
// memory_samples, private_bytes_max (the largest PrivateUsage read; where it
// reads 0, as under Wine, PagefileUsage, the same commit charge on Windows),
// pagefile_peak_bytes (the largest PeakPagefileUsage read); both -1 without
// --memory or without a read. Values escape "\" as "\\",
// LF as "\n" and CR as "\r", so every value stays on its line.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kSplashClass[] = L"NolmShortcutSplash";
constexpr wchar_t kBoxClass[] = L"#32770";
constexpr wchar_t kLauncherClass[] = L"NolmTestLauncher";
constexpr DWORD kPollMs = 10;
// GetDlgItemTextW's control id for the text of a message box.
constexpr int kBoxTextId = 0xFFFF;

struct CaptureRequest {
  int64_t offsetMs = 0;  // after the splash first became visible
  std::wstring path;
};

struct Options {
  std::wstring report;
  std::wstring exe;
  std::wstring arguments;
  std::vector<std::pair<std::wstring, std::wstring>> environment;
  std::vector<CaptureRequest> captures;
  int64_t closeAfterMs = -1;
  int64_t waitLauncherMs = 0;    // after the program's exit
  int64_t watchLauncherMs = 0;   // after its exit and the launcher's window
  std::wstring launcherCapture;  // BMP of the launcher's window, once painted
  bool memory = false;
  bool hidden = false;
  bool newConsole = false;
  std::wstring killWhen;
  int64_t timeoutMs = 60000;
};

struct BoxRecord {
  int64_t ms = -1;
  std::wstring caption;
  std::wstring text;
  bool splashVisible = false;
};

struct CaptureRecord {
  int64_t ms = -1;
  bool ok = false;
  std::wstring path;
};

// Everything observed during one run; written out by WriteReport.
struct Record {
  LANGID uiLanguage = 0;
  bool started = false;
  int64_t startUnixUs = -1;
  DWORD startError = 0;
  DWORD childPid = 0;
  HWND splash = nullptr;
  std::wstring splashClass;
  std::wstring splashTitle;
  RECT splashRect = {};
  int64_t splashVisibleMs = -1;
  int64_t splashHiddenMs = -1;
  int64_t splashGoneMs = -1;
  std::vector<BoxRecord> boxes;
  std::set<HWND> answeredBoxes;
  std::vector<CaptureRecord> captures;
  int64_t closePostedMs = -1;
  int64_t killedMs = -1;
  int64_t extractorsAtKill = -1;
  int64_t extractorsGoneMs = -1;
  std::set<HWND> oldLauncherWindows;  // present before the start: not ours
  int64_t launcherWindowMs = -1;
  HWND launcherWindow = nullptr;
  std::wstring launcherTitle;
  int64_t launcherGoneMs = -1;
  bool launcherCaptured = false;
  bool exited = false;
  DWORD exitCode = 0;
  int64_t exitMs = -1;
  bool timedOut = false;
  int64_t memorySamples = 0;
  int64_t privateBytesMax = -1;
  int64_t pagefilePeakBytes = -1;
};

// ---- arguments ----------------------------------------------------------

bool TakeValue(const std::wstring& argument, const wchar_t* name, std::wstring* value) {
  const std::wstring prefix = std::wstring(L"--") + name + L"=";
  if (argument.compare(0, prefix.size(), prefix) != 0) return false;
  *value = argument.substr(prefix.size());
  return true;
}

// Returns false (after printing why) on an argument it does not know.
bool ParseArguments(int argc, wchar_t** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    std::wstring value;
    if (TakeValue(argument, L"report", &value)) {
      options->report = value;
    } else if (TakeValue(argument, L"exe", &value)) {
      options->exe = value;
    } else if (TakeValue(argument, L"args", &value)) {
      options->arguments = value;
    } else if (argument == L"--hidden") {
      options->hidden = true;
    } else if (argument == L"--new-console") {
      options->newConsole = true;
    } else if (argument == L"--memory") {
      options->memory = true;
    } else if (TakeValue(argument, L"env", &value) && value.find(L'=') != std::wstring::npos) {
      const size_t equals = value.find(L'=');
      options->environment.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    } else if (TakeValue(argument, L"capture", &value) && value.find(L':') != std::wstring::npos) {
      // Split at the first colon: the offset has none, the path ("Z:\...") may.
      const size_t colon = value.find(L':');
      options->captures.push_back(
          {std::wcstoll(value.c_str(), nullptr, 10), value.substr(colon + 1)});
    } else if (TakeValue(argument, L"close-after", &value)) {
      options->closeAfterMs = std::wcstoll(value.c_str(), nullptr, 10);
    } else if (TakeValue(argument, L"kill-when", &value)) {
      options->killWhen = value;
    } else if (TakeValue(argument, L"timeout", &value)) {
      options->timeoutMs = std::wcstoll(value.c_str(), nullptr, 10);
    } else if (TakeValue(argument, L"wait-launcher", &value)) {
      options->waitLauncherMs = std::wcstoll(value.c_str(), nullptr, 10);
    } else if (TakeValue(argument, L"watch-launcher", &value)) {
      options->watchLauncherMs = std::wcstoll(value.c_str(), nullptr, 10);
    } else if (TakeValue(argument, L"capture-launcher", &value)) {
      options->launcherCapture = value;
    } else {
      fwprintf(stderr, L"driver: unknown argument %ls\n", argument.c_str());
      return false;
    }
  }
  if (options->report.empty()) {
    fwprintf(stderr, L"driver: --report=FILE is required\n");
    return false;
  }
  return true;
}

// ---- clock and windows ---------------------------------------------------

class Clock {
 public:
  Clock() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  int64_t ElapsedMs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (now.QuadPart - start_.QuadPart) * 1000 / frequency_.QuadPart;
  }

 private:
  LARGE_INTEGER frequency_ = {};
  LARGE_INTEGER start_ = {};
};

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring TextOf(HWND window) {
  std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
  return text;
}

DWORD ProcessOf(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  return processId;
}

// Top-level windows of `className`, of process `processId` (0: any process).
std::vector<HWND> TopLevelWindows(const wchar_t* className, DWORD processId) {
  struct Search {
    const wchar_t* className;
    DWORD processId;
    std::vector<HWND> found;
  } search{className, processId, {}};
  EnumWindows(
      [](HWND window, LPARAM lParam) -> BOOL {
        auto* search = reinterpret_cast<Search*>(lParam);
        if (ClassOf(window) == search->className &&
            (search->processId == 0 || ProcessOf(window) == search->processId)) {
          search->found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// ---- observations ---------------------------------------------------------

void ObserveSplash(Record* record, int64_t now) {
  if (!record->splash) {
    const std::vector<HWND> windows = TopLevelWindows(kSplashClass, record->childPid);
    if (windows.empty()) return;
    record->splash = windows.front();
    record->splashClass = ClassOf(record->splash);
    record->splashTitle = TextOf(record->splash);
    GetWindowRect(record->splash, &record->splashRect);
  }
  if (record->splashGoneMs >= 0) return;
  if (!IsWindow(record->splash)) {
    record->splashGoneMs = now;
    if (record->splashVisibleMs >= 0 && record->splashHiddenMs < 0) record->splashHiddenMs = now;
    return;
  }
  const bool visible = IsWindowVisible(record->splash);
  if (visible && record->splashVisibleMs < 0) {
    record->splashVisibleMs = now;
    // Where it is once shown is what the user sees.
    GetWindowRect(record->splash, &record->splashRect);
  }
  if (!visible && record->splashVisibleMs >= 0 && record->splashHiddenMs < 0) {
    record->splashHiddenMs = now;
  }
}

bool SplashVisibleNow(const Record& record) {
  return record.splash && IsWindow(record.splash) && IsWindowVisible(record.splash);
}

// Reads each new visible dialog box of the child, then presses its OK button.
void AnswerBoxes(Record* record, int64_t now) {
  for (HWND box : TopLevelWindows(kBoxClass, record->childPid)) {
    if (!IsWindowVisible(box) || record->answeredBoxes.count(box)) continue;
    wchar_t text[2048] = {};
    GetDlgItemTextW(box, kBoxTextId, text, 2048);
    record->boxes.push_back({now, TextOf(box), text, SplashVisibleNow(*record)});
    record->answeredBoxes.insert(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
}

// A 24-bit bottom-up BMP of the screen area `area`.
bool CaptureScreen(const RECT& area, const std::wstring& path) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, previous);

  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(static_cast<size_t>(stride) * height);
  const bool read =
      copied && GetDIBits(memory, bitmap, 0, height, pixels.data(),
                          reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) == height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!read) return false;

  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = sizeof header + sizeof info;
  header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, &header, sizeof header, &written, nullptr) &&
            WriteFile(file, &info, sizeof info, &written, nullptr) &&
            WriteFile(file, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
  CloseHandle(file);
  return ok;
}

void TakeDueCaptures(const Options& options, Record* record, int64_t now) {
  if (record->splashVisibleMs < 0) return;
  while (record->captures.size() < options.captures.size()) {
    const CaptureRequest& request = options.captures[record->captures.size()];
    if (now < record->splashVisibleMs + request.offsetMs) return;
    CaptureRecord capture{now, false, request.path};
    if (SplashVisibleNow(*record)) {
      RECT area;
      GetWindowRect(record->splash, &area);
      capture.ok = CaptureScreen(area, request.path);
    }
    record->captures.push_back(capture);
  }
}

void PostCloseWhenDue(const Options& options, Record* record, int64_t now) {
  if (options.closeAfterMs < 0 || record->closePostedMs >= 0 || record->splashVisibleMs < 0) {
    return;
  }
  if (now < record->splashVisibleMs + options.closeAfterMs || !IsWindow(record->splash)) return;
  PostMessageW(record->splash, WM_CLOSE, 0, 0);
  record->closePostedMs = now;
}

int64_t CountProcessesNamed(const wchar_t* name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int64_t count = 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    count += _wcsicmp(entry.szExeFile, name) == 0;
  }
  CloseHandle(snapshot);
  return count;
}

// Only the program: whatever it started is left to the program's own means
// of ending it, which the report then shows.
void KillWhenDue(const Options& options, HANDLE process, Record* record, const Clock& clock) {
  if (options.killWhen.empty() || record->killedMs >= 0 || record->exited ||
      GetFileAttributesW(options.killWhen.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return;
  }
  record->extractorsAtKill = CountProcessesNamed(L"7zr.exe");
  TerminateProcess(process, 0xDEAD);
  record->killedMs = clock.ElapsedMs();
  for (int64_t waited = 0; waited <= 1000; waited = clock.ElapsedMs() - record->killedMs) {
    if (CountProcessesNamed(L"7zr.exe") == 0) {
      record->extractorsGoneMs = waited;
      return;
    }
    Sleep(kPollMs);
  }
}

void ObserveLauncherWindow(Record* record, int64_t now) {
  if (record->launcherWindow && record->launcherGoneMs < 0 && !IsWindow(record->launcherWindow)) {
    record->launcherGoneMs = now;
  }
  if (record->launcherWindowMs >= 0) return;
  for (HWND window : TopLevelWindows(kLauncherClass, 0)) {
    if (record->oldLauncherWindows.count(window) || !IsWindowVisible(window)) continue;
    record->launcherWindowMs = now;
    record->launcherWindow = window;
    record->launcherTitle = TextOf(window);
    return;
  }
}

// Captures the launcher's window once it has had time to paint.
void CaptureLauncherWhenDue(const Options& options, Record* record, int64_t now) {
  constexpr int64_t kSettleMs = 700;
  if (options.launcherCapture.empty() || record->launcherCaptured || record->launcherWindowMs < 0 ||
      now < record->launcherWindowMs + kSettleMs) {
    return;
  }
  RECT area;
  record->launcherCaptured =
      GetWindowRect(record->launcherWindow, &area) && CaptureScreen(area, options.launcherCapture);
}

// Wine 8 leaves PrivateUsage at 0, so PagefileUsage (the same commit charge
// on Windows) stands in there. The largest reading of each counter is kept,
// a peak that does not rely on the platform's own bookkeeping. A reading of
// zeros (a process on its way out) is no reading.
void SampleMemory(const Options& options, HANDLE process, Record* record) {
  if (!options.memory) return;
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters) ||
      (counters.PrivateUsage == 0 && counters.PagefileUsage == 0)) {
    return;
  }
  ++record->memorySamples;
  const SIZE_T privateBytes =
      counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
  record->privateBytesMax = std::max(record->privateBytesMax, static_cast<int64_t>(privateBytes));
  record->pagefilePeakBytes =
      std::max(record->pagefilePeakBytes, static_cast<int64_t>(counters.PeakPagefileUsage));
}

bool LauncherCaptureDone(const Options& options, const Record& record) {
  return options.launcherCapture.empty() || record.launcherCaptured;
}

// ---- the run --------------------------------------------------------------

HANDLE StartProgram(const Options& options, Record* record) {
  // Set in our own environment, which the child inherits.
  for (const auto& [name, value] : options.environment) {
    SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
  }
  std::wstring commandLine = L"\"" + options.exe + L"\"";
  if (!options.arguments.empty()) commandLine += L" " + options.arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (options.hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(/* lpApplicationName */ nullptr,
                      /* lpCommandLine */ commandLine.data(),
                      /* lpProcessAttributes */ nullptr,
                      /* lpThreadAttributes */ nullptr,
                      /* bInheritHandles */ FALSE,
                      /* dwCreationFlags */ options.hidden ? CREATE_NO_WINDOW
                      : options.newConsole                 ? CREATE_NEW_CONSOLE
                                                           : 0,
                      /* lpEnvironment */ nullptr,
                      /* lpCurrentDirectory */ nullptr,
                      /* lpStartupInfo */ &startup,
                      /* lpProcessInformation */ &process)) {
    record->startError = GetLastError();
    return nullptr;
  }
  CloseHandle(process.hThread);
  record->started = true;
  record->childPid = process.dwProcessId;
  return process.hProcess;
}

void Run(const Options& options, Record* record) {
  for (HWND window : TopLevelWindows(kLauncherClass, 0)) record->oldLauncherWindows.insert(window);
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  // 100 ns units since 1601; the Unix epoch is 11644473600 s later.
  record->startUnixUs =
      static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) /
                           10) -
      11644473600000000LL;
  const Clock clock;
  HANDLE process = StartProgram(options, record);
  if (!process) return;
  for (;;) {
    const int64_t now = clock.ElapsedMs();
    ObserveSplash(record, now);
    AnswerBoxes(record, now);
    TakeDueCaptures(options, record, now);
    PostCloseWhenDue(options, record, now);
    KillWhenDue(options, process, record, clock);
    ObserveLauncherWindow(record, now);
    CaptureLauncherWhenDue(options, record, now);
    if (!record->exited) SampleMemory(options, process, record);
    if (!record->exited && WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
      record->exited = true;
      record->exitMs = now;
      GetExitCodeProcess(process, &record->exitCode);
      ObserveSplash(record, now);  // its windows went with it
    }
    if (record->exited &&
        ((record->launcherWindowMs >= 0 && LauncherCaptureDone(options, *record) &&
          now >= std::max(record->exitMs, record->launcherWindowMs) + options.watchLauncherMs) ||
         now >= record->exitMs + options.waitLauncherMs)) {
      break;
    }
    if (now > options.timeoutMs) {
      record->timedOut = true;
      if (!record->exited) TerminateProcess(process, 0xDEAD);
      break;
    }
    if (record->exited) {
      Sleep(kPollMs);
    } else {
      WaitForSingleObject(process, options.killWhen.empty() ? kPollMs : 1);
    }
  }
  CloseHandle(process);
}

// ---- report ---------------------------------------------------------------

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  return bytes;
}

std::string Escaped(const std::string& value) {
  std::string escaped;
  for (char c : value) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

class ReportWriter {
 public:
  void Add(const std::string& key, const std::string& value) {
    text_ += key + "=" + Escaped(value) + "\n";
  }
  void Add(const std::string& key, const std::wstring& value) { Add(key, Utf8(value)); }
  void Add(const std::string& key, int64_t value) { Add(key, std::to_string(value)); }
  bool Save(const std::wstring& path) const {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text_.data(), static_cast<DWORD>(text_.size()), &written, nullptr);
    CloseHandle(file);
    return ok;
  }

 private:
  std::string text_;
};

bool WriteReport(const Record& record, const std::wstring& path) {
  ReportWriter report;
  char language[8];
  snprintf(language, sizeof language, "0x%04X", record.uiLanguage);
  report.Add("ui_language", std::string(language));
  report.Add("started", record.started ? 1 : 0);
  report.Add("start_error", static_cast<int64_t>(record.startError));
  report.Add("start_unix_us", record.startUnixUs);
  report.Add("child_pid", static_cast<int64_t>(record.childPid));
  report.Add("splash_found", record.splash ? 1 : 0);
  report.Add("splash_class", record.splashClass);
  report.Add("splash_title", record.splashTitle);
  const RECT& r = record.splashRect;
  report.Add("splash_rect", std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                                std::to_string(r.right) + "," + std::to_string(r.bottom));
  report.Add("splash_visible_ms", record.splashVisibleMs);
  report.Add("splash_hidden_ms", record.splashHiddenMs);
  report.Add("splash_gone_ms", record.splashGoneMs);
  report.Add("box_count", static_cast<int64_t>(record.boxes.size()));
  for (size_t i = 0; i < record.boxes.size(); ++i) {
    const std::string key = "box." + std::to_string(i + 1) + ".";
    report.Add(key + "ms", record.boxes[i].ms);
    report.Add(key + "caption", record.boxes[i].caption);
    report.Add(key + "text", record.boxes[i].text);
    report.Add(key + "splash_visible", record.boxes[i].splashVisible ? 1 : 0);
  }
  report.Add("capture_count", static_cast<int64_t>(record.captures.size()));
  for (size_t i = 0; i < record.captures.size(); ++i) {
    const std::string key = "capture." + std::to_string(i + 1) + ".";
    report.Add(key + "ms", record.captures[i].ms);
    report.Add(key + "ok", record.captures[i].ok ? 1 : 0);
    report.Add(key + "path", record.captures[i].path);
  }
  report.Add("close_posted_ms", record.closePostedMs);
  report.Add("killed_ms", record.killedMs);
  report.Add("extractors_at_kill", record.extractorsAtKill);
  report.Add("extractors_gone_ms", record.extractorsGoneMs);
  report.Add("launcher_window_ms", record.launcherWindowMs);
  report.Add("launcher_title", record.launcherTitle);
  report.Add("launcher_captured", record.launcherCaptured ? 1 : 0);
  report.Add("launcher_gone_ms", record.launcherGoneMs);
  report.Add("exit_code", record.exited ? static_cast<int64_t>(record.exitCode) : -1);
  report.Add("exit_ms", record.exitMs);
  report.Add("timed_out", record.timedOut ? 1 : 0);
  report.Add("memory_samples", record.memorySamples);
  report.Add("private_bytes_max", record.privateBytesMax);
  report.Add("pagefile_peak_bytes", record.pagefilePeakBytes);
  return report.Save(path);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseArguments(argc, argv, &options)) return 2;
  Record record;
  record.uiLanguage = GetUserDefaultUILanguage();
  if (!options.exe.empty()) Run(options, &record);
  if (!WriteReport(record, options.report)) {
    fwprintf(stderr, L"driver: cannot write %ls\n", options.report.c_str());
    return 2;
  }
  return 0;
}
