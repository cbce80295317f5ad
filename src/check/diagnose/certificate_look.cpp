#include "check/diagnose/certificate_look.h"

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <utility>

#include "check/wide_to_utf8.h"
#include "text/utf8_to_wide.h"

#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif

namespace {

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

int64_t UnixSeconds(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  // 100 ns units since 1601; the Unix epoch is 11644473600 s later.
  return static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
}

std::string CertificateName(PCCERT_CONTEXT certificate, DWORD flags) {
  wchar_t name[512] = {};
  CertGetNameStringW(/* pCertContext */ certificate,
                     /* dwType */ CERT_NAME_SIMPLE_DISPLAY_TYPE,
                     /* dwFlags */ flags,
                     /* pvTypePara */ nullptr,
                     /* pszNameString */ name,
                     /* cchNameString */ 512);
  return WideToUtf8(name);
}

// Where the host of "https://host/path" begins, and where its path does
// (npos when it has none).
std::pair<size_t, size_t> UrlParts(const std::string& url) {
  const size_t scheme = url.find("://");
  const size_t host = scheme == std::string::npos ? 0 : scheme + 3;
  return {host, url.find('/', host)};
}

}  // namespace

std::string UrlHost(const std::string& url) {
  const auto [host, path] = UrlParts(url);
  return url.substr(host, path == std::string::npos ? std::string::npos : path - host);
}

CertificateLook LookAtCertificate(const std::string& url) {
  CertificateLook look;
  look.made = true;
  look.url = url;
  const size_t pathStart = UrlParts(url).second;
  const std::wstring host = Utf8ToWide(UrlHost(url));
  const std::wstring pathText =
      Utf8ToWide(pathStart == std::string::npos ? std::string("/") : url.substr(pathStart));
  const wchar_t* path = pathText.c_str();
  // Declared in opening order, so they close request, connection, session.
  UniqueInternet session(WinHttpOpen(/* pszAgentW */ L"NolmShortcut/1.0",
                                     /* dwAccessType */ WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                     /* pszProxyW */ WINHTTP_NO_PROXY_NAME,
                                     /* pszProxyBypassW */ WINHTTP_NO_PROXY_BYPASS,
                                     /* dwFlags */ 0));
  UniqueInternet connection(session ? WinHttpConnect(/* hSession */ session.get(),
                                                     /* pswzServerName */ host.c_str(),
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
  if (!request) return look;
  // Only to see who answers; this request's body is never read.
  DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                 SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
  if (!WinHttpSendRequest(/* hRequest */ request.get(),
                          /* lpszHeaders */ WINHTTP_NO_ADDITIONAL_HEADERS,
                          /* dwHeadersLength */ 0,
                          /* lpOptional */ WINHTTP_NO_REQUEST_DATA,
                          /* dwOptionalLength */ 0,
                          /* dwTotalLength */ 0,
                          /* dwContext */ 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return look;
  }
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  look.localDate = UnixSeconds(now);

  PCCERT_CONTEXT certificate = nullptr;
  DWORD size = sizeof certificate;
  if (WinHttpQueryOption(request.get(), WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size) &&
      certificate != nullptr) {
    look.answered = true;
    look.issuer = CertificateName(certificate, CERT_NAME_ISSUER_FLAG);
    look.subject = CertificateName(certificate, 0);
    look.notBefore = UnixSeconds(certificate->pCertInfo->NotBefore);
    look.notAfter = UnixSeconds(certificate->pCertInfo->NotAfter);
    CertFreeCertificateContext(certificate);
  }
  SYSTEMTIME date = {};
  size = sizeof date;
  FILETIME dateTime = {};
  if (WinHttpQueryHeaders(/* hRequest */ request.get(),
                          /* dwInfoLevel */ WINHTTP_QUERY_DATE | WINHTTP_QUERY_FLAG_SYSTEMTIME,
                          /* pwszName */ WINHTTP_HEADER_NAME_BY_INDEX,
                          /* lpBuffer */ &date,
                          /* lpdwBufferLength */ &size,
                          /* lpdwIndex */ WINHTTP_NO_HEADER_INDEX) &&
      SystemTimeToFileTime(&date, &dateTime)) {
    look.serverDateKnown = true;
    look.serverDate = UnixSeconds(dateTime);
  }
  return look;
}
