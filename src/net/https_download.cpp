#include "net/https_download.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <new>
#include <utility>

#include "app/status_channel.h"
#include "common/handles.h"
#include "net/progress.h"

#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif

namespace {

constexpr DWORD kReadSize = 65536;

class UniqueInternet {
 public:
  explicit UniqueInternet(HINTERNET handle) : handle_(handle) {}
  UniqueInternet(const UniqueInternet&) = delete;
  UniqueInternet& operator=(const UniqueInternet&) = delete;
  ~UniqueInternet() {
    if (handle_) WinHttpCloseHandle(handle_);
  }
  explicit operator bool() const { return handle_ != nullptr; }
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

// A numeric response header, or `fallback` when it cannot be read.
DWORD QueryNumber(HINTERNET request, DWORD query, DWORD fallback) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!WinHttpQueryHeaders(/* hRequest */ request,
                           /* dwInfoLevel */ query | WINHTTP_QUERY_FLAG_NUMBER,
                           /* pwszName */ WINHTTP_HEADER_NAME_BY_INDEX,
                           /* lpBuffer */ &value,
                           /* lpdwBufferLength */ &size,
                           /* lpdwIndex */ WINHTTP_NO_HEADER_INDEX)) {
    return fallback;
  }
  return value;
}

// A response header as sent; empty when absent. The first call asks for the
// size in bytes.
std::wstring HeaderText(HINTERNET request, DWORD query) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (size == 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  text.resize(size / sizeof(wchar_t));
  return text;
}

// Told by WinHTTP, on the calling thread, of each redirect it follows and
// of why a certificate was refused; `context` is the caller's detail.
void CALLBACK NoteStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  auto* detail = reinterpret_cast<DownloadDetail*>(context);
  if (detail == nullptr || info == nullptr) return;
  if (status == WINHTTP_CALLBACK_STATUS_REDIRECT) {
    // The length counts the terminating NUL on some platforms, not on others.
    const auto* url = static_cast<const wchar_t*>(info);
    detail->redirectedTo.assign(url, wcsnlen(url, length));
  } else if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && length >= sizeof(DWORD)) {
    detail->certificateFlags = *static_cast<const DWORD*>(info);
  }
}

void Describe(HINTERNET request, DWORD status, DownloadDetail& detail) {
  detail.status = status;
  detail.contentLength = HeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH);
  detail.contentEncoding = HeaderText(request, WINHTTP_QUERY_CONTENT_ENCODING);
  if (status != 200) detail.location = HeaderText(request, WINHTTP_QUERY_LOCATION);
}

// False, after noting the failed call's error for a caller that wants it.
bool Failed(DownloadDetail* detail) {
  if (detail) detail->error = GetLastError();
  return false;
}

bool AppendToBody(std::string* body, const char* data, DWORD size) {
  try {
    body->append(data, size);
    return true;
  } catch (const std::bad_alloc&) {
    // An endless or oversized body must fail the download, not the program.
    return false;
  }
}

// True when the response announces a Content-Length other than `expected`;
// read as text, since the numeric query is 32 bits wide.
bool AnnouncesOtherLength(HINTERNET request, uint64_t expected) {
  const std::wstring text = HeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH);
  if (text.empty()) return false;
  uint64_t announced = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9' || announced > (UINT64_MAX - 9) / 10) return true;
    announced = announced * 10 + static_cast<uint64_t>(c - L'0');
  }
  return announced != expected;
}

// Reads the body of an accepted response to its end and stores it.
bool ReceiveBody(HINTERNET request, const std::wstring& destination, std::string* body,
                 bool reportProgress, DownloadDetail* detail, const DownloadChecks& checks) {
  const bool toFile = !destination.empty();
  if (!toFile && body == nullptr) return false;
  const bool exact = checks.exactBytes != UINT64_MAX;
  if (exact && AnnouncesOtherLength(request, checks.exactBytes)) return false;
  const uint64_t limit =
      exact && checks.exactBytes < checks.maxBytes ? checks.exactBytes : checks.maxBytes;
  const DWORD declared = QueryNumber(request, WINHTTP_QUERY_CONTENT_LENGTH, 0);

  UniqueHandle file;
  if (toFile) {
    file = UniqueHandle(CreateFileW(/* lpFileName */ destination.c_str(),
                                    /* dwDesiredAccess */ GENERIC_WRITE,
                                    /* dwShareMode */ 0,
                                    /* lpSecurityAttributes */ nullptr,
                                    /* dwCreationDisposition */ CREATE_ALWAYS,
                                    /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                    /* hTemplateFile */ nullptr));
    if (!file) return Failed(detail);
  }

  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadSize]);
  if (!buffer) return false;
  uint32_t received = 0;
  uint64_t total = 0;
  for (;;) {
    // Near a limit, ask for one byte past it and no more: some WinHTTPs
    // return only once the whole buffer is filled.
    DWORD want = kReadSize;
    if (limit - total < kReadSize) want = static_cast<DWORD>(limit - total + 1);
    DWORD got = 0;
    if (!WinHttpReadData(request, buffer.get(), want, &got)) return Failed(detail);
    // A connection closed cleanly before the announced length is not a whole
    // body; WinHTTP reports such an end like a normal one.
    if (got == 0)
      return (declared == 0 || received >= declared) && (!exact || total == checks.exactBytes);
    total += got;
    if (total > limit) return false;

    if (detail) SetLastError(ERROR_SUCCESS);  // a short write sets none
    bool stored;
    if (toFile) {
      DWORD written = 0;
      stored = WriteFile(file.get(), buffer.get(), got, &written, nullptr) && written == got;
    } else {
      stored = AppendToBody(body, buffer.get(), got);
    }
    if (stored && checks.chunkReceived &&
        !checks.chunkReceived(checks.context, buffer.get(), got)) {
      stored = false;
    }
    received += got;
    if (reportProgress && declared != 0) PublishProgress(ProgressThousandths(received, declared));
    if (detail) {
      detail->received += got;
      if (detail->chunkReceived) detail->chunkReceived(detail->context, detail->received, declared);
    }
    if (!stored) return Failed(detail);
  }
}

}  // namespace

bool HttpsDownload(const wchar_t* host, const wchar_t* path, const std::wstring& destination,
                   std::string* body, bool reportProgress, DownloadDetail* detail,
                   const DownloadChecks* checks) {
  // Declared in opening order, so they close request, connection, session.
  UniqueInternet session(WinHttpOpen(/* pszAgentW */ L"NolmShortcut/1.0",
                                     /* dwAccessType */ WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                     /* pszProxyW */ WINHTTP_NO_PROXY_NAME,
                                     /* pszProxyBypassW */ WINHTTP_NO_PROXY_BYPASS,
                                     /* dwFlags */ 0));
  UniqueInternet connection(session ? WinHttpConnect(/* hSession */ session.get(),
                                                     /* pswzServerName */ host,
                                                     /* nServerPort */ INTERNET_DEFAULT_HTTPS_PORT,
                                                     /* dwReserved */ 0)
                                    : nullptr);
  UniqueInternet request(
      connection ? WinHttpOpenRequest(/* hConnect */ connection.get(),
                                      /* pwszVerb */ L"GET",
                                      /* pwszObjectName */ path,
                                      /* pwszVersion */ nullptr,
                                      /* pwszReferrer */ WINHTTP_NO_REFERER,
                                      /* ppwszAcceptTypes */ WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      /* dwFlags */ WINHTTP_FLAG_SECURE)
                 : nullptr);
  if (request && detail) {
    WinHttpSetStatusCallback(request.get(), NoteStatus,
                             WINHTTP_CALLBACK_FLAG_REDIRECT | WINHTTP_CALLBACK_FLAG_SECURE_FAILURE,
                             0);
  }
  bool ok = request &&
            WinHttpSendRequest(/* hRequest */ request.get(),
                               /* lpszHeaders */ WINHTTP_NO_ADDITIONAL_HEADERS,
                               /* dwHeadersLength */ 0,
                               /* lpOptional */ WINHTTP_NO_REQUEST_DATA,
                               /* dwOptionalLength */ 0,
                               /* dwTotalLength */ 0,
                               /* dwContext */ reinterpret_cast<DWORD_PTR>(detail)) &&
            WinHttpReceiveResponse(request.get(), nullptr);
  if (!ok) {
    // The first call that failed was the last one made.
    Failed(detail);
  } else {
    const DWORD status = QueryNumber(request.get(), WINHTTP_QUERY_STATUS_CODE, 0);
    if (detail) Describe(request.get(), status, *detail);
    ok = status == 200 && ReceiveBody(request.get(), destination, body, reportProgress, detail,
                                      checks ? *checks : DownloadChecks());
  }
  // The file is closed by now; a stale file from an earlier run goes too.
  if (!ok && !destination.empty()) DeleteFileW(destination.c_str());
  return ok;
}
