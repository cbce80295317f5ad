#include "check/game/report_json.h"

#include <cmath>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "check/game/report_text.h"

namespace {

using Json = nlohmann::ordered_json;

// Whole pixels as integers, others as the shortest decimal of the single
// precision value GDI+ is given, so that 128.33333 is not shown as
// 128.33332824707031.
Json Coordinate(float value) {
  if (value == std::floor(value) && std::fabs(value) < 1e9f) return static_cast<long long>(value);
  return std::strtod(CoordinateText(value).c_str(), nullptr);
}

Json Artwork(const ArtworkReport& artwork) {
  if (!artwork.drawn) return nullptr;
  Json object;
  object["file"] = artwork.file;
  object["width"] = artwork.width;
  object["height"] = artwork.height;
  object["drawn"] = {Coordinate(artwork.at.x), Coordinate(artwork.at.y),
                     Coordinate(artwork.at.width), Coordinate(artwork.at.height)};
  return object;
}

Json StringOrNull(bool present, const std::string& text) {
  return present ? Json(text) : Json(nullptr);
}

}  // namespace

std::string JsonReport(const CheckReport& report) {
  Json object;
  object["valid"] = report.valid;
  object["slug"] = StringOrNull(!report.slug.empty(), report.slug);
  object["title"] = StringOrNull(report.valid, report.title);
  object["command_line"] = StringOrNull(report.valid, report.commandLine);
  object["splash"] = Artwork(report.splash);
  object["title_image"] = Artwork(report.titleImage);
  object["preview"] = nullptr;
  if (report.preview.written) {
    object["preview"] = {{"first_frame", report.preview.firstFrame},
                         {"installing", report.preview.installing}};
  }
  object["warnings"] = Json::array();
  for (const CheckWarning& warning : report.warnings) {
    object["warnings"].push_back({{"code", warning.code}, {"message", warning.message}});
  }
  // Every string is valid UTF-8 already; replacing keeps dump() from ever throwing.
  return object.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
