#pragma once

#include <string>

#include "check/diagnose/diagnosis_report.h"

// The host of "https://host/path" (the whole text up to its first "/" when
// there is no scheme).
std::string UrlHost(const std::string& url);

// Repeats a GET of `url` ("https://host/path", UTF-8) whose certificate was refused, once,
// with the certificate checks off, only to read who answered: the issuer,
// subject and validity of the certificate presented, and the server's Date
// header, with this machine's clock at that moment. The body is never read
// and nothing from the answer is kept but these facts. Blocks for one
// request with the platform's time-outs.
CertificateLook LookAtCertificate(const std::string& url);
