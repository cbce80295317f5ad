#include <nlohmann/json.hpp>

#include "check/release/release_report_json.h"
#include "check/release/release_report_writers.h"

using Json = nlohmann::ordered_json;

Json TextOrNull(const std::string& text) {
  return text.empty() ? Json(nullptr) : Json(text);
}

namespace {

Json Request(const RequestReport& request) {
  if (!request.made) return nullptr;
  Json object;
  object["url"] = request.url;
  object["final_url"] = TextOrNull(request.finalUrl);
  object["status"] = request.status == 0 ? Json(nullptr) : Json(request.status);
  // The header as sent: a pipeline compares it with the file's size itself.
  object["content_length"] = TextOrNull(request.contentLength);
  object["content_encoding"] = TextOrNull(request.contentEncoding);
  object["bytes"] = request.bytes;
  object["seconds"] = request.seconds;
  object["failure"] = TextOrNull(request.failure);
  return object;
}

// Null when signatures were neither asked for nor found in the folder.
Json Signature(const ReleaseReport& report) {
  if (report.keys.empty() && report.signatureSource.empty()) return nullptr;
  Json object;
  object["source"] = TextOrNull(report.signatureSource);
  object["bytes"] = report.signatureRead ? Json(report.signatureBytes) : Json(nullptr);
  object["within_limits"] = report.signatureRead ? Json(report.signatureWithinLimits) : nullptr;
  object["keys"] = Json::array();
  for (const ReleaseKey& key : report.keys) {
    object["keys"].push_back(
        {{"fingerprint", key.fingerprint}, {"source", key.source}, {"pinned", key.pinned}});
  }
  object["lines"] = Json::array();
  for (const SignatureLineReport& line : report.signatureLines) {
    object["lines"].push_back(
        {{"text", line.text}, {"well_formed", line.wellFormed}, {"key", TextOrNull(line.key)}});
  }
  // Null when nothing was verified: no keys, or no manifest or file to verify.
  object["verified"] = report.signatureChecked ? Json(report.signatureVerified) : nullptr;
  object["request"] = Request(report.signatureRequest);
  return object;
}

}  // namespace

std::string ReleaseJsonReport(const ReleaseReport& report) {
  // Every string is valid UTF-8 already; replacing keeps dump() from ever throwing.
  return ReleaseJsonObject(report).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

nlohmann::ordered_json ReleaseJsonObject(const ReleaseReport& report) {
  Json object;
  object["release"] = TextOrNull(report.releaseFolder);
  object["host"] = TextOrNull(report.host);

  Json manifest;
  manifest["source"] = report.manifestSource;
  manifest["bytes"] = report.manifestRead ? Json(report.manifestBytes) : Json(nullptr);
  manifest["version"] = TextOrNull(report.version);
  manifest["sha256"] = TextOrNull(report.sha256);
  manifest["size"] = TextOrNull(report.size);
  manifest["request"] = Request(report.manifestRequest);
  object["manifest"] = manifest;

  object["signature"] = Signature(report);

  Json archive;
  archive["source"] = report.archiveSource;
  archive["bytes"] = report.archiveRead ? Json(report.archiveBytes) : Json(nullptr);
  archive["sha256"] = TextOrNull(report.archiveSha256);
  archive["request"] = Request(report.archiveRequest);
  object["archive"] = archive;

  Json extractor;
  extractor["source"] = report.extractorSource;
  extractor["sha256"] = TextOrNull(report.extractorSha256);
  extractor["pinned"] = report.extractorPinned;
  extractor["request"] = Request(report.extractorRequest);
  object["extractor"] = extractor;

  Json unpacked = nullptr;
  if (report.unpackRan) {
    unpacked = Json::object();
    unpacked["exit_code"] = report.unpackExitCode;
    unpacked["seconds"] = report.unpackSeconds;
    if (report.unpackExitCode == 0) {
      unpacked["files"] = report.unpackedFiles;
      unpacked["bytes"] = report.unpackedBytes;
      unpacked["top_level"] = report.topLevel;
    }
  }
  object["unpacked"] = unpacked;
  object["unpack_skipped"] = TextOrNull(report.unpackSkipped);
  object["disk_bytes_needed"] =
      report.diskBytesNeeded == 0 ? Json(nullptr) : Json(report.diskBytesNeeded);
  const HeldFileReport& held = report.heldFile;
  object["held_file"] =
      held.happened ? Json({{"path", held.path}, {"step", held.step}, {"waited_ms", held.waitedMs}})
                    : Json(nullptr);
  object["scratch_left"] = TextOrNull(report.scratchLeft);
  object["seconds"] = report.seconds;
  object["findings"] = Json::array();
  for (const ReleaseFinding& finding : report.findings) {
    object["findings"].push_back({{"code", finding.code},
                                  {"severity", finding.error ? "error" : "warning"},
                                  {"message", finding.message}});
  }
  return object;
}
