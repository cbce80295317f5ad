#pragma once

#include <cstdint>
#include <string>

// What one download saw, for a caller that reports it; the shortcut passes
// none and is told nothing more than the result. Filled as far as the request
// got. Header texts are as the server sent them; empty when absent.
struct DownloadDetail {
  uint32_t status = 0;            // final HTTP status; 0 when no response arrived
  uint32_t error = 0;             // GetLastError() of the call that failed: WinHTTP's 12xxx
                                  // or a file error; 0 when no call failed
  std::wstring redirectedTo;      // the last redirect followed; empty when none
  uint32_t certificateFlags = 0;  // WINHTTP_CALLBACK_STATUS_FLAG_* of a refused certificate
  std::wstring contentLength;     // Content-Length
  std::wstring contentEncoding;   // Content-Encoding
  std::wstring location;          // Location, of a response other than 200
  uint64_t received = 0;          // body bytes received, stored or not
  // Called after every chunk when set, with the bytes received so far and
  // the announced length (0: none announced). Same thread.
  void (*chunkReceived)(void* context, uint64_t received, uint32_t declared) = nullptr;
  void* context = nullptr;
};

// Conditions a caller may put on a body beyond the status rule; by default
// none.
struct DownloadChecks {
  uint64_t maxBytes = UINT64_MAX;  // a longer body fails the download as it arrives
  // Set: the body must be exactly this long. An announced Content-Length that
  // differs fails the download before any byte is stored, a body growing past
  // it fails as the first byte too many arrives (reads are cut so that a
  // server pausing after that byte cannot hold the download), and a body
  // ending short of it fails.
  uint64_t exactBytes = UINT64_MAX;
  // Set: called with every chunk once it is stored, on the download's thread,
  // so that a large file need not be read again to be hashed; false fails
  // the download.
  bool (*chunkReceived)(void* context, const void* data, size_t size) = nullptr;
  void* context = nullptr;
};

// One HTTPS GET of https://`host`:443`path`, following the platform's default
// redirect policy (never from HTTPS to HTTP). Only a final status 200 counts.
//
// File mode (`destination` not empty): the body is written to `destination`,
// replaced if present and opened without sharing; after any failure that path
// is deleted, even when the failure came before it was created.
// Memory mode (`destination` empty): chunks are appended to `*body`, which is
// required; what arrived before a failure stays there for the caller to drop.
//
// With `reportProgress`, after every chunk and only when the response announced
// a Content-Length, the thousandths received are published to the splash
// window (gProgress, then WM_SPLASH_REFRESH). Returns true when the whole body
// arrived and was stored; a body that ends short of its announced
// Content-Length is a failure. With `detail`, also tells what the server
// answered and which call failed, without changing anything else. With
// `checks`, also limits and digests the body as they say. Blocks;
// worker thread (or any thread, without `reportProgress`).
bool HttpsDownload(const wchar_t* host, const wchar_t* path, const std::wstring& destination,
                   std::string* body, bool reportProgress, DownloadDetail* detail = nullptr,
                   const DownloadChecks* checks = nullptr);
