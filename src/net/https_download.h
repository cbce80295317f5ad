#pragma once

#include <string>

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
// Content-Length is a failure. Blocks; worker thread.
bool HttpsDownload(const wchar_t* host, const wchar_t* path, const std::wstring& destination,
                   std::string* body, bool reportProgress);
