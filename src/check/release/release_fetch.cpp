#include "check/release/release_fetch.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <cstdlib>
#include <utility>

#include "check/release/console_progress.h"
#include "check/wide_to_utf8.h"

namespace {

struct ErrorMeaning {
  uint32_t code;
  const char* name;
  const char* meaning;
};

// The errors a download meets in the field, in the words a support team
// needs. WinHTTP's own codes are 12001-12186; the rest are Windows' file and
// memory errors from storing the body.
constexpr ErrorMeaning kMeanings[] = {
    {12002, "ERROR_WINHTTP_TIMEOUT", "the server did not answer in time"},
    {12007, "ERROR_WINHTTP_NAME_NOT_RESOLVED", "the host name does not resolve"},
    {12029, "ERROR_WINHTTP_CANNOT_CONNECT", "no connection could be made to port 443"},
    {12030, "ERROR_WINHTTP_CONNECTION_ERROR", "the connection was reset or broken"},
    {12037, "ERROR_WINHTTP_SECURE_CERT_DATE_INVALID",
     "the server's certificate has expired or is not yet valid"},
    {12038, "ERROR_WINHTTP_SECURE_CERT_CN_INVALID",
     "the server's certificate is for another host name"},
    {12044, "ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED", "the server asks for a client certificate"},
    {12045, "ERROR_WINHTTP_SECURE_INVALID_CA",
     "the server's certificate is not issued by a trusted authority"},
    {12057, "ERROR_WINHTTP_SECURE_CERT_REV_FAILED",
     "the revocation of the server's certificate could not be checked"},
    {12152, "ERROR_WINHTTP_INVALID_SERVER_RESPONSE", "the server's answer is not valid HTTP"},
    {12156, "ERROR_WINHTTP_REDIRECT_FAILED", "a redirect could not be followed"},
    {12157, "ERROR_WINHTTP_SECURE_CHANNEL_ERROR",
     "the secure connection failed: the server's certificate is not trusted, or no TLS version "
     "is common to both sides"},
    {12166, "ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR", "the proxy configuration could not be used"},
    {12169, "ERROR_WINHTTP_SECURE_INVALID_CERT", "the server's certificate is not valid"},
    {12170, "ERROR_WINHTTP_SECURE_CERT_REVOKED", "the server's certificate is revoked"},
    {12175, "ERROR_WINHTTP_SECURE_FAILURE",
     "the secure connection failed: the server's certificate is not trusted"},
    {12180, "ERROR_WINHTTP_AUTODETECTION_FAILED", "the proxy could not be detected"},
    {10060, "WSAETIMEDOUT", "the server stopped answering"},
    {5, "ERROR_ACCESS_DENIED", "the file could not be written: access denied"},
    {8, "ERROR_NOT_ENOUGH_MEMORY", "out of memory"},
    {112, "ERROR_DISK_FULL", "the disk is full"},
};

std::string ErrorWords(uint32_t error) {
  const std::string number = std::to_string(error);
  for (const ErrorMeaning& known : kMeanings) {
    if (known.code == error)
      return std::string(known.meaning) + " (" + known.name + ", " + number + ")";
  }
  if (error >= 12000 && error < 12200) return "WinHTTP error " + number;
  return "Windows error " + number;
}

const char* StatusName(uint32_t status) {
  switch (status) {
    case 301:
      return " Moved Permanently";
    case 302:
      return " Found";
    case 303:
      return " See Other";
    case 307:
      return " Temporary Redirect";
    case 308:
      return " Permanent Redirect";
    case 400:
      return " Bad Request";
    case 401:
      return " Unauthorized";
    case 403:
      return " Forbidden";
    case 404:
      return " Not Found";
    case 410:
      return " Gone";
    case 429:
      return " Too Many Requests";
    case 500:
      return " Internal Server Error";
    case 502:
      return " Bad Gateway";
    case 503:
      return " Service Unavailable";
    case 504:
      return " Gateway Timeout";
    default:
      return "";
  }
}

// Windows tells why it refused a certificate apart from the error itself.
std::string CertificateWords(uint32_t flags) {
  static const std::pair<uint32_t, const char*> kFlags[] = {
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED, "its revocation could not be checked"},
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT, "it is not valid"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, "it is revoked"},
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, "its issuer is not trusted"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, "it names another host"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, "it has expired or is not yet valid"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE, "it is not for servers"},
  };
  std::string words;
  for (const auto& [flag, meaning] : kFlags) {
    if (flags & flag) words += std::string(words.empty() ? "" : ", ") + meaning;
  }
  return words.empty() ? "" : ": the certificate " + words;
}

}  // namespace

std::string DownloadFailure(bool succeeded, const DownloadDetail& detail) {
  if (succeeded) return {};
  if (detail.status != 0 && detail.status != 200) {
    std::string words = "the server answers " + std::to_string(detail.status) +
                        StatusName(detail.status) + ", and only 200 counts";
    const std::string location = WideToUtf8(detail.location);
    if (detail.status >= 300 && detail.status < 400 && !location.empty()) {
      words += location.rfind("http:", 0) == 0
                   ? "; it redirects to " + location + ", and HTTPS to HTTP is never followed"
                   : "; it redirects to " + location + ", a redirect WinHTTP does not follow here";
    }
    return words;
  }
  if (detail.error != 0)
    return ErrorWords(detail.error) + CertificateWords(detail.certificateFlags);
  const std::string announced = WideToUtf8(detail.contentLength);
  if (detail.status == 200 && !announced.empty()) {
    return "the connection ended after " + std::to_string(detail.received) + " of the " +
           announced + " bytes announced";
  }
  return "the download failed without a reason from the platform";
}

RequestReport FetchAsShortcut(const std::wstring& host, const wchar_t* path,
                              const std::wstring& destination, std::string* body,
                              const std::string& progressLabel, uint64_t maxBytes) {
  RequestReport request;
  request.made = true;
  request.url = "https://" + WideToUtf8(host) + WideToUtf8(path);
  ConsoleProgress progress = StartConsoleProgress(progressLabel);
  DownloadDetail detail;
  if (!progressLabel.empty()) {
    detail.chunkReceived = ShowConsoleProgress;
    detail.context = &progress;
  }
  const auto start = std::chrono::steady_clock::now();
  DownloadChecks checks;
  checks.maxBytes = maxBytes;
  const bool ok = HttpsDownload(host.c_str(), path, destination, body, false, &detail, &checks);
  request.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EndConsoleProgress(progress);

  request.finalUrl = detail.redirectedTo.empty() ? request.url : WideToUtf8(detail.redirectedTo);
  request.status = detail.status;
  request.contentLength = WideToUtf8(detail.contentLength);
  request.contentEncoding = WideToUtf8(detail.contentEncoding);
  request.bytes = detail.received;
  request.error = detail.error;
  request.failure = DownloadFailure(ok, detail);
  // The limit fails a 200 without a platform error, as a body cut short does;
  // only a body announced past the limit, or not announced at all, can be
  // stopped by it (WinHTTP reads no further than the Content-Length).
  const bool unannounced = request.contentLength.empty();
  if (!ok && maxBytes != UINT64_MAX && detail.status == 200 && detail.error == 0 &&
      (unannounced || std::strtoull(request.contentLength.c_str(), nullptr, 10) > maxBytes)) {
    request.failure =
        (unannounced ? std::string("the body runs")
                     : "the body is announced as " + request.contentLength + " bytes,") +
        " past the shortcut's limit of " + std::to_string(maxBytes) + " bytes";
  }
  return request;
}
