#pragma once

#include <cstdint>
#include <string>

#include "check/release/release_report.h"
#include "net/https_download.h"

// One download made by the shortcut's own HttpsDownload (its user agent, port
// 443, redirect policy, status rule and clean-up), timed and described. In
// file mode (`destination` not empty) a failed download leaves no file, as in
// the shortcut; in memory mode the body goes to `*body`. With a
// `progressLabel`, the download's progress shows on the console. A body longer
// than `maxBytes` fails as it does in the shortcut, and the failure says so.
// Blocks.
RequestReport FetchAsShortcut(const std::wstring& host, const wchar_t* path,
                              const std::wstring& destination, std::string* body,
                              const std::string& progressLabel = "",
                              uint64_t maxBytes = UINT64_MAX);

// Why a download failed, as precisely as the platform says: the HTTP status
// (and a redirect the platform does not follow), the WinHTTP or Windows error
// with its meaning, or a body that ended short. Empty when `succeeded`.
std::string DownloadFailure(bool succeeded, const DownloadDetail& detail);
