#include "check/release/manifest_check.h"

#include <nlohmann/json.hpp>

#include "check/wide_to_utf8.h"
#include "net/release_signature.h"
#include "text/json_string_value.h"

namespace {

using Json = nlohmann::json;

std::string Quoted(const std::string& bytes) {
  return "\"" + ValidUtf8(bytes) + "\"";
}

// The start of a text that is not JSON, so that an HTML error page or a
// proxy's message is recognised at a glance.
std::string Opening(const std::string& text) {
  std::string start = text.substr(0, 40);
  for (char& byte : start) {
    if (byte == '\r' || byte == '\n' || byte == '\t') byte = ' ';
  }
  return Quoted(start) + (text.size() > 40 ? "..." : "");
}

// What a JSON reader sees where the shortcut sees `scanned`; empty when both agree.
std::string ReaderDisagreement(const std::string& manifest, const std::string& scanned) {
  const Json document = Json::parse(manifest, nullptr, false);
  if (document.is_discarded()) {
    return "it is not JSON (it begins " + Opening(manifest) + ")";
  }
  if (!document.is_object()) return "it is JSON, but not an object";
  const auto version = document.find("version");
  if (version == document.end()) return "a JSON reader finds no top-level \"version\"";
  if (!version->is_string()) {
    return "a JSON reader sees \"version\": " +
           version->dump(-1, ' ', false, Json::error_handler_t::replace) + ", not a string";
  }
  if (version->get<std::string>() != scanned) {
    return "a JSON reader sees \"version\": " + Quoted(version->get<std::string>());
  }
  return {};
}

// A field a signed shortcut needs, missing or malformed: `value` is what the
// scan read, `wanted` what it must be.
ReleaseFinding SignedFieldMissing(const char* code, const std::string& where, const char* field,
                                  const std::string& value, const std::string& wanted) {
  return {code, true,
          where +
              (value.empty()
                   ? std::string(" has no \"") + field + "\" string the shortcut can read"
                   : std::string(": the shortcut reads \"") + field + "\" as " + Quoted(value)) +
              "; it must be " + wanted +
              ". A shortcut that pins release keys stops every installation before the archive "
              "is fetched"};
}

}  // namespace

void CheckManifest(const std::string& manifest, const std::string& where, bool withKeys,
                   ReleaseReport& report) {
  const std::string sha256 = JsonStringValue(manifest, "sha256");
  report.sha256 = ValidUtf8(sha256);
  const std::string size = JsonStringValue(manifest, "size");
  report.size = ValidUtf8(size);
  const std::string scanned = JsonStringValue(manifest, "version");
  report.version = ValidUtf8(scanned);
  const std::string reader = ReaderDisagreement(manifest, scanned);
  if (report.version.empty()) {
    report.findings.push_back({"manifest-no-version", true,
                               where + " has no \"version\" string the shortcut can read" +
                                   (reader.empty() ? "" : " (" + reader + ")") +
                                   ": every installation stops before the archive is fetched"});
  } else if (reader.rfind("it is", 0) == 0) {
    report.findings.push_back({"manifest-not-json", false,
                               where + ": the shortcut reads \"version\" as " +
                                   Quoted(report.version) + ", but " + reader});
  } else if (!reader.empty()) {
    report.findings.push_back(
        {"manifest-scan-differs", false,
         where + ": the shortcut reads \"version\" as " + Quoted(report.version) + ", but " +
             reader +
             "; the shortcut takes the first \"version\" in the text, at any depth, "
             "and its value as written, escapes included"});
  }
  if (withKeys && !IsSha256Hex(sha256)) {
    report.findings.push_back(SignedFieldMissing("manifest-no-sha256", where, "sha256", sha256,
                                                 "64 lowercase hexadecimal digits"));
  }
  uint64_t bytes = 0;
  if (withKeys && !ParseSignedSize(size, &bytes)) {
    report.findings.push_back(SignedFieldMissing(
        "manifest-no-size", where, "size", size,
        "the archive's length in 1 to 20 decimal digits, written as a string (\"size\": "
        "\"1234\"): the shortcut reads strings only"));
  }
}
