// Times the program's own download and digest, for bench/run.sh.
//   bench_net download HOST PATH DEST [RUNS]   HttpsDownload of https://HOST:443PATH into DEST
//                                              (DEST "-": into memory, the transfer alone)
//   bench_net digest FILE [RUNS]               FileSha256Hex of FILE
//   bench_net read FILE [RUNS]                 FILE streamed as the digest reads it,
//                                              unhashed: the share of the reads alone
//   bench_net write FILE MIB [RUNS]            MIB MiB written to FILE in the download's
//                                              64 KiB writes: the share of the writes alone
// Prints one line per run: "<mode> seconds=<s> bytes=<n> [sha256=<hex>]".
// The clock runs around the call alone, so the Wine process start-up is not
// in the figures; several runs in one process spare paying it again.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "bench_clock.h"
#include "net/file_sha256.h"
#include "net/https_download.h"

namespace {

long long FileSize(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int Runs(int argc, wchar_t** argv, int index) {
  return argc > index ? std::max(1, static_cast<int>(std::wcstol(argv[index], nullptr, 10))) : 1;
}

int Download(const wchar_t* host, const wchar_t* path, const wchar_t* dest, int runs) {
  const bool toMemory = std::wcscmp(dest, L"-") == 0;
  std::string body;
  for (int run = 0; run < runs; ++run) {
    body.clear();
    const double start = Seconds();
    // No progress: nothing here would take the posts, and their cost is a
    // few thousand messages per 256 MiB either way.
    const bool ok = HttpsDownload(host, path, toMemory ? L"" : dest, &body, false);
    const double elapsed = Seconds() - start;
    if (!ok) {
      std::printf("download failed\n");
      return 1;
    }
    std::printf("download seconds=%.6f bytes=%lld\n", elapsed,
                toMemory ? static_cast<long long>(body.size()) : FileSize(dest));
  }
  return 0;
}

int Digest(const wchar_t* file, int runs) {
  for (int run = 0; run < runs; ++run) {
    const double start = Seconds();
    const std::string hex = FileSha256Hex(file);
    const double elapsed = Seconds() - start;
    if (hex.empty()) {
      std::printf("digest failed\n");
      return 1;
    }
    std::printf("digest seconds=%.6f bytes=%lld sha256=%s\n", elapsed, FileSize(file), hex.c_str());
  }
  return 0;
}

// The digest's reads without the hash: same open, same 64 KiB buffer.
int Read(const wchar_t* file, int runs) {
  std::string buffer(65536, '\0');
  for (int run = 0; run < runs; ++run) {
    const double start = Seconds();
    HANDLE handle = CreateFileW(/* lpFileName */ file,
                                /* dwDesiredAccess */ GENERIC_READ,
                                /* dwShareMode */ FILE_SHARE_READ,
                                /* lpSecurityAttributes */ nullptr,
                                /* dwCreationDisposition */ OPEN_EXISTING,
                                /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                /* hTemplateFile */ nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      std::printf("read failed\n");
      return 1;
    }
    long long total = 0;
    DWORD got = 0;
    while (ReadFile(handle, buffer.data(), 65536, &got, nullptr) && got != 0) total += got;
    CloseHandle(handle);
    std::printf("read seconds=%.6f bytes=%lld\n", Seconds() - start, total);
  }
  return 0;
}

// The download's file writes without the network: same open, same 64 KiB
// writes, the same buffer each time.
int Write(const wchar_t* file, long long mebibytes, int runs) {
  std::string buffer(65536, '\x5A');
  for (int run = 0; run < runs; ++run) {
    const double start = Seconds();
    HANDLE handle = CreateFileW(/* lpFileName */ file,
                                /* dwDesiredAccess */ GENERIC_WRITE,
                                /* dwShareMode */ 0,
                                /* lpSecurityAttributes */ nullptr,
                                /* dwCreationDisposition */ CREATE_ALWAYS,
                                /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                /* hTemplateFile */ nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      std::printf("write failed\n");
      return 1;
    }
    long long total = 0;
    DWORD written = 0;
    for (long long chunk = 0; chunk < mebibytes * 16; ++chunk) {
      if (!WriteFile(handle, buffer.data(), 65536, &written, nullptr) || written != 65536) break;
      total += written;
    }
    CloseHandle(handle);
    std::printf("write seconds=%.6f bytes=%lld\n", Seconds() - start, total);
    if (total != mebibytes << 20) return 1;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int result = 2;
  if (argc >= 5 && std::wcscmp(argv[1], L"download") == 0) {
    result = Download(argv[2], argv[3], argv[4], Runs(argc, argv, 5));
  } else if (argc >= 3 && std::wcscmp(argv[1], L"digest") == 0) {
    result = Digest(argv[2], Runs(argc, argv, 3));
  } else if (argc >= 3 && std::wcscmp(argv[1], L"read") == 0) {
    result = Read(argv[2], Runs(argc, argv, 3));
  } else if (argc >= 4 && std::wcscmp(argv[1], L"write") == 0) {
    result = Write(argv[2], std::wcstoll(argv[3], nullptr, 10), Runs(argc, argv, 4));
  } else {
    std::printf(
        "usage: bench_net download HOST PATH DEST [RUNS] | digest FILE [RUNS] | read FILE "
        "[RUNS] | write FILE MIB [RUNS]\n");
  }
  std::fflush(stdout);
  return result;
}
