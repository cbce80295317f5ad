// Times the program's own download and digest, for bench/run.sh.
//   bench_net download HOST PATH DEST [RUNS]   HttpsDownload of https://HOST:443PATH into DEST
//                                              (DEST "-": into memory, the transfer alone)
//   bench_net digest FILE [RUNS]               FileSha256Hex of FILE
//   bench_net read FILE [RUNS]                 FILE streamed as the digest reads it,
//                                              unhashed: the share of the reads alone
//   bench_net write FILE MIB [RUNS]            MIB MiB written to FILE in the download's
//                                              64 KiB writes: the share of the writes alone
//   bench_net winhttp HOST PATH KIB [RUNS]     the platform's floor for the download: a
//                                              bare WinHTTP GET read in KIB KiB reads and
//                                              dropped (no file, no checks, no progress)
//   bench_net hash MIB KIB [RUNS]              the platform's floor for the digest: CNG
//                                              SHA-256 over MIB MiB of memory in KIB KiB calls
// Prints one line per run: "<mode> seconds=<s> bytes=<n> [sha256=<hex>]".
// The clock runs around the call alone, so the Wine process start-up is not
// in the figures; several runs in one process spare paying it again.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include <winhttp.h>
#include <bcrypt.h>

#include "bench_clock.h"
#include "net/file_sha256.h"
#include "net/https_download.h"

#ifndef BCRYPT_SHA256_ALG_HANDLE
#define BCRYPT_SHA256_ALG_HANDLE ((BCRYPT_ALG_HANDLE)0x00000041)
#endif

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

// WinHTTP with nothing of ours around it, so any gap between it and curl is
// the platform's.
int BareWinHttp(const wchar_t* host, const wchar_t* path, long long kibibytes, int runs) {
  std::string buffer(static_cast<size_t>(kibibytes) << 10, '\0');
  for (int run = 0; run < runs; ++run) {
    const double start = Seconds();
    HINTERNET session = WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection = session ? WinHttpConnect(session, host, 443, 0) : nullptr;
    HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", path, nullptr,
                                                        WINHTTP_NO_REFERER,
                                                        WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                        WINHTTP_FLAG_SECURE)
                                   : nullptr;
    long long total = 0;
    if (request && WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                      WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
        WinHttpReceiveResponse(request, nullptr)) {
      DWORD got = 0;
      while (WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got) &&
             got != 0) {
        total += got;
      }
    }
    for (HINTERNET handle : {request, connection, session}) {
      if (handle) WinHttpCloseHandle(handle);
    }
    const double elapsed = Seconds() - start;
    if (total == 0) {
      std::printf("winhttp failed\n");
      return 1;
    }
    std::printf("winhttp seconds=%.6f bytes=%lld\n", elapsed, total);
  }
  return 0;
}

// CNG's SHA-256 over memory: the hash alone, without any file reads.
int BareHash(long long mebibytes, long long kibibytes, int runs) {
  std::string buffer(static_cast<size_t>(kibibytes) << 10, '\x5A');
  const long long calls = (mebibytes << 10) / kibibytes;
  for (int run = 0; run < runs; ++run) {
    const double start = Seconds();
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptCreateHash(BCRYPT_SHA256_ALG_HANDLE, &hash, nullptr, 0, nullptr, 0, 0) != 0) {
      std::printf("hash failed\n");
      return 1;
    }
    for (long long call = 0; call < calls; ++call) {
      BCryptHashData(hash, reinterpret_cast<PUCHAR>(buffer.data()),
                     static_cast<ULONG>(buffer.size()), 0);
    }
    UCHAR digest[32];
    BCryptFinishHash(hash, digest, sizeof digest, 0);
    BCryptDestroyHash(hash);
    std::printf("hash seconds=%.6f bytes=%lld\n", Seconds() - start,
                calls * static_cast<long long>(buffer.size()));
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
  } else if (argc >= 5 && std::wcscmp(argv[1], L"winhttp") == 0) {
    result = BareWinHttp(argv[2], argv[3], std::max(1LL, std::wcstoll(argv[4], nullptr, 10)),
                         Runs(argc, argv, 5));
  } else if (argc >= 4 && std::wcscmp(argv[1], L"hash") == 0) {
    result = BareHash(std::wcstoll(argv[2], nullptr, 10),
                      std::max(1LL, std::wcstoll(argv[3], nullptr, 10)), Runs(argc, argv, 4));
  } else {
    std::printf(
        "usage: bench_net download HOST PATH DEST [RUNS] | digest FILE [RUNS] | read FILE "
        "[RUNS] | write FILE MIB [RUNS] | winhttp HOST PATH KIB [RUNS] | hash MIB KIB "
        "[RUNS]\n");
  }
  std::fflush(stdout);
  return result;
}
