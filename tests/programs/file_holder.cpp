// Test program: a stand-in for security software that opens each new file the
// moment its writer closes it and holds it while it "reads".
//
//   file_holder.exe --root DIR --hold-ms N --share none|read --ready FILE
//                   [--until FILE] [--max-seconds S]
//
// Watches DIR and every folder below it, polling every 10 ms. Each file that
// appears after the first scan, or whose size or last-write time changes, is
// opened with GENERIC_READ and share mode 0 (none) or FILE_SHARE_READ (read)
// as soon as the open succeeds: a writer's GENERIC_WRITE handle conflicts
// with either share mode, so the open succeeds only once the writer has closed
// the file. The file is held N ms, each on its own clock, then closed. FILE of
// --ready is written once the first scan is done, so a test can wait for it
// before it starts the program under test. Everything is released and the
// program exits 0 as soon as the --until file exists, or after S seconds
// (default 120). Exit code 2: bad usage.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>

namespace {

constexpr DWORD kPollMs = 10;

struct Options {
  std::wstring root;
  ULONGLONG holdMs = 0;
  DWORD share = 0;
  std::wstring ready;
  std::wstring until;
  ULONGLONG maxMs = 120000;
};

struct Watched {
  ULONGLONG size = 0;
  ULONGLONG written = 0;
  bool seen = false;     // in the scan that is running
  bool pending = false;  // new or changed, not yet held
  HANDLE held = INVALID_HANDLE_VALUE;
  ULONGLONG releaseAt = 0;
};

using WatchList = std::map<std::wstring, Watched>;

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
  bool haveShare = false;
  bool haveHold = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring name = argv[i];
    const wchar_t* value = argv[i + 1];
    if (name == L"--root") {
      options->root = value;
    } else if (name == L"--hold-ms") {
      options->holdMs = std::wcstoull(value, nullptr, 10);
      haveHold = true;
    } else if (name == L"--share") {
      if (std::wcscmp(value, L"none") == 0) {
        options->share = 0;
      } else if (std::wcscmp(value, L"read") == 0) {
        options->share = FILE_SHARE_READ;
      } else {
        return false;
      }
      haveShare = true;
    } else if (name == L"--ready") {
      options->ready = value;
    } else if (name == L"--until") {
      options->until = value;
    } else if (name == L"--max-seconds") {
      options->maxMs = std::wcstoull(value, nullptr, 10) * 1000;
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && haveShare && haveHold && !options->root.empty() &&
         !options->ready.empty();
}

ULONGLONG Join(DWORD high, DWORD low) {
  return (ULONGLONG{high} << 32) | low;
}

// Marks every file under `folder` seen; a new one, or one whose size or
// last-write time moved, becomes pending unless this is the first scan.
void Scan(const std::wstring& folder, bool first, WatchList* files) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Scan(path, first, files);
      continue;
    }
    const ULONGLONG size = Join(found.nFileSizeHigh, found.nFileSizeLow);
    const ULONGLONG written =
        Join(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
    auto [entry, added] = files->try_emplace(path);
    Watched& file = entry->second;
    if (!first && (added || file.size != size || file.written != written)) file.pending = true;
    file.size = size;
    file.written = written;
    file.seen = true;
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// Opens each pending file it can and ends each hold that is due; forgets
// files that are gone.
void HoldAndRelease(const Options& options, ULONGLONG now, WatchList* files) {
  for (auto it = files->begin(); it != files->end();) {
    Watched& file = it->second;
    if (file.held != INVALID_HANDLE_VALUE && now >= file.releaseAt) {
      CloseHandle(file.held);
      file.held = INVALID_HANDLE_VALUE;
    }
    if (file.pending && file.held == INVALID_HANDLE_VALUE) {
      file.held = CreateFileW(/* lpFileName */ it->first.c_str(),
                              /* dwDesiredAccess */ GENERIC_READ,
                              /* dwShareMode */ options.share,
                              /* lpSecurityAttributes */ nullptr,
                              /* dwCreationDisposition */ OPEN_EXISTING,
                              /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                              /* hTemplateFile */ nullptr);
      if (file.held != INVALID_HANDLE_VALUE) {
        file.pending = false;
        file.releaseAt = now + options.holdMs;
      }
    }
    if (!file.seen && file.held == INVALID_HANDLE_VALUE) {
      it = files->erase(it);
    } else {
      file.seen = false;
      ++it;
    }
  }
}

bool Exists(const std::wstring& path) {
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteReadyFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fwprintf(stderr,
                  L"usage: file_holder --root DIR --hold-ms N --share none|read --ready FILE "
                  L"[--until FILE] [--max-seconds S]\n");
    return 2;
  }
  const ULONGLONG started = GetTickCount64();
  WatchList files;
  Scan(options.root, true, &files);
  HoldAndRelease(options, started, &files);
  if (!WriteReadyFile(options.ready)) return 1;
  while (!Exists(options.until) && GetTickCount64() - started < options.maxMs) {
    Sleep(kPollMs);
    Scan(options.root, false, &files);
    HoldAndRelease(options, GetTickCount64(), &files);
  }
  for (auto& [path, file] : files) {
    if (file.held != INVALID_HANDLE_VALUE) CloseHandle(file.held);
  }
  return 0;
}
