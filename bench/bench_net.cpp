// Times the program's own download and digest, and the platform calls alone,
// for bench/suite.sh.
//   bench_net [--warm] MODE ARGS...
//   download HOST PATH DEST [RUNS]        HttpsDownload of https://HOST:443PATH into DEST
//                                         (DEST "-": into memory, the transfer alone)
//   winhttp HOST PATH KIB DEST [RUNS]     the platform's floor: the same WinHTTP calls with
//                                         nothing of ours around them, KIB KiB reads, each
//                                         written to DEST as the download writes ("-": dropped)
//   digest FILE [RUNS]                    FileSha256Hex of FILE
//   hash MIB KIB [RUNS]                   the platform's floor for the digest: CNG SHA-256
//                                         over MIB MiB of memory in KIB KiB calls
//   read FILE [RUNS]                      FILE streamed as the digest reads it, unhashed
//   write FILE MIB [RUNS]                 MIB MiB written to FILE in the download's 64 KiB
//                                         writes: the share of the writes alone
// --warm: before the clock starts, one request for the same URL whose body is
// not read, so that a process's first TLS and certificate-store set-up is in
// no figure and each run can be a process of its own.
// Prints one line per run: "<mode> seconds=<s> bytes=<n> [sha256=<hex>]".
// The clock runs around the call alone, so the Wine process start-up is not
// in the figures.
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

struct Request {
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  ~Request() {
    for (HINTERNET handle : {request, connection, session}) {
      if (handle) WinHttpCloseHandle(handle);
    }
  }
};

// The download's calls and flags up to the response, nothing of ours.
bool Open(const wchar_t* host, const wchar_t* path, Request* open) {
  open->session = WinHttpOpen(L"NolmShortcut/1.0", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  open->connection =
      open->session ? WinHttpConnect(open->session, host, INTERNET_DEFAULT_HTTPS_PORT, 0) : nullptr;
  open->request =
      open->connection
          ? WinHttpOpenRequest(open->connection, L"GET", path, nullptr, WINHTTP_NO_REFERER,
                               WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE)
          : nullptr;
  return open->request &&
         WinHttpSendRequest(open->request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
         WinHttpReceiveResponse(open->request, nullptr);
}

bool WarmUp(const wchar_t* host, const wchar_t* path) {
  Request request;
  return Open(host, path, &request);
}

// WinHTTP with nothing of ours around it, so any gap between it and curl is
// the platform's; with DEST, each chunk is written as the download writes it.
int BareWinHttp(const wchar_t* host, const wchar_t* path, long long kibibytes, const wchar_t* dest,
                int runs) {
  std::string buffer(static_cast<size_t>(kibibytes) << 10, '\0');
  const bool toFile = std::wcscmp(dest, L"-") != 0;
  for (int run = 0; run < runs; ++run) {
    const double start = Seconds();
    long long total = 0;
    bool ok = false;
    {
      Request request;
      HANDLE file = toFile ? CreateFileW(dest, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr)
                           : nullptr;
      if (file != INVALID_HANDLE_VALUE && Open(host, path, &request)) {
        DWORD got = 0;
        DWORD written = 0;
        while ((ok = WinHttpReadData(request.request, buffer.data(),
                                     static_cast<DWORD>(buffer.size()), &got)) &&
               got != 0) {
          if (toFile && !WriteFile(file, buffer.data(), got, &written, nullptr)) ok = false;
          if (!ok) break;
          total += got;
        }
      }
      if (file && file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    const double elapsed = Seconds() - start;
    if (!ok || total == 0) {
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
  const bool warm = argc >= 2 && std::wcscmp(argv[1], L"--warm") == 0;
  if (warm) {
    --argc;
    ++argv;
  }
  int result = 2;
  const bool isDownload = argc >= 5 && std::wcscmp(argv[1], L"download") == 0;
  const bool isWinHttp = argc >= 6 && std::wcscmp(argv[1], L"winhttp") == 0;
  if (warm && (isDownload || isWinHttp) && !WarmUp(argv[2], argv[3])) {
    std::printf("warm-up request failed\n");
    result = 1;
  } else if (isDownload) {
    result = Download(argv[2], argv[3], argv[4], Runs(argc, argv, 5));
  } else if (isWinHttp) {
    result = BareWinHttp(argv[2], argv[3], std::max(1LL, std::wcstoll(argv[4], nullptr, 10)),
                         argv[5], Runs(argc, argv, 6));
  } else if (argc >= 3 && std::wcscmp(argv[1], L"digest") == 0) {
    result = Digest(argv[2], Runs(argc, argv, 3));
  } else if (argc >= 4 && std::wcscmp(argv[1], L"hash") == 0) {
    result = BareHash(std::wcstoll(argv[2], nullptr, 10),
                      std::max(1LL, std::wcstoll(argv[3], nullptr, 10)), Runs(argc, argv, 4));
  } else if (argc >= 3 && std::wcscmp(argv[1], L"read") == 0) {
    result = Read(argv[2], Runs(argc, argv, 3));
  } else if (argc >= 4 && std::wcscmp(argv[1], L"write") == 0) {
    result = Write(argv[2], std::wcstoll(argv[3], nullptr, 10), Runs(argc, argv, 4));
  } else {
    std::printf(
        "usage: bench_net [--warm] download HOST PATH DEST [RUNS] | winhttp HOST PATH KIB DEST "
        "[RUNS] | digest FILE [RUNS] | hash MIB KIB [RUNS] | read FILE [RUNS] | write FILE MIB "
        "[RUNS]\n");
  }
  std::fflush(stdout);
  return result;
}
