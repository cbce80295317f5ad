#include "check/game/report_text.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string Rectangle(const ImagePlacement& at) {
  return "[" + CoordinateText(at.x) + ", " + CoordinateText(at.y) + ", " +
         CoordinateText(at.width) + ", " + CoordinateText(at.height) + "]";
}

std::string Artwork(const ArtworkReport& artwork) {
  return artwork.file + ", " + std::to_string(artwork.width) + "x" +
         std::to_string(artwork.height) + " pixels, drawn in " + Rectangle(artwork.at) +
         " (x, y, width, height)";
}

std::string Outcome(const CheckReport& report) {
  switch (CheckExitCode(report)) {
    case kExitRefused:
      return "refused: the shortcut shows the invalid-configuration message (exit code 1)";
    case kExitWarnings:
      return "runs, with " + std::to_string(report.warnings.size()) + " warning" +
             (report.warnings.size() == 1 ? "" : "s") + " (exit code 2)";
    default:
      return "fine (exit code 0)";
  }
}

std::string Preview(const CheckReport& report) {
  if (report.preview.written) {
    return "wrote " + report.preview.firstFrame + " (the first frame) and " +
           report.preview.installing + " (installing, the bar at 40 %)";
  }
  if (!report.valid) {
    return "no picture: the shortcut refuses the configuration, so the player sees only the "
           "message box";
  }
  return "no picture: it could not be written (see the error above)";
}

}  // namespace

std::string CoordinateText(float value) {
  // Fixed notation: a pixel coordinate never needs an exponent, and nine
  // decimals always reach a float's precision at these magnitudes.
  char text[64];
  for (int decimals = 0; decimals <= 9; ++decimals) {
    std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  return text;
}

std::string TextReport(const std::string& folder, const CheckReport& report) {
  std::string out = "game folder: " + folder + "\n";
  out += report.valid ? "configuration: accepted\n" : "configuration: REFUSED\n";
  out += "slug: " + (report.slug.empty() ? "none" : report.slug) + "\n";
  if (report.valid) {
    out += "window title: " + report.title + "\n";
    out += "launcher command line: " + report.commandLine + "\n";
  }
  // A refused configuration shows no splash at all; the artwork is still
  // reported, since it is what the player sees once the file is fixed.
  const std::string later = report.valid ? "" : " (once the configuration is accepted)";
  std::string splash = "none, the placeholder text \"Nolm Launcher\" shows";
  if (report.splash.drawn) splash = Artwork(report.splash);
  // The placeholder shows only when the shortcut has no image at all.
  if (!report.splash.drawn && (report.splash.loaded || report.titleImage.loaded)) {
    splash = "none, the background colour shows";
  }
  out += "splash: " + splash + later + "\n";
  std::string title = "none";
  if (report.titleImage.drawn) {
    title = Artwork(report.titleImage) + (report.splash.drawn ? ", over the splash" : "");
  }
  out += "title image: " + title + later + "\n";
  if (report.preview.asked) out += "preview: " + Preview(report) + "\n";
  for (const CheckWarning& warning : report.warnings) {
    out += "warning [" + warning.code + "]: " + warning.message + "\n";
  }
  out += "result: " + Outcome(report) + "\n";
  return out;
}
