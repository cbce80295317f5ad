#pragma once

#include <string>
#include <vector>

#include "check/exit_codes.h"
#include "splash/placement.h"

// One finding for the game's developer: a stable short code (such as
// "config-not-json") and one line in plain words. Both UTF-8.
struct CheckWarning {
  std::string code;
  std::string message;
};

// One artwork image as the shortcut loads and draws it.
struct ArtworkReport {
  bool loaded = false;     // the shortcut has this image (it may still fail to draw)
  bool drawn = false;      // loaded and its pixels decode; false: nothing drawn for it
  std::string file;        // "splash.png", "splash.jpg" or "title.png"
  unsigned width = 0;      // pixels
  unsigned height = 0;     // pixels
  ImagePlacement at = {};  // where it lands on the 800 x 350 frame, pixels
};

// The pictures asked for with --preview; paths are full.
struct PreviewReport {
  bool asked = false;    // --preview was given
  bool written = false;  // both pictures were written
  std::string firstFrame;
  std::string installing;
};

// What the shortcut would do with one game folder. Strings are UTF-8.
struct CheckReport {
  bool valid = true;        // false: the player gets the invalid-configuration message
  std::string slug;         // the "game" value as the shortcut scans it; empty when none
  std::string title;        // the splash window's title (only when valid)
  std::string commandLine;  // the launcher's command line for this user (only when valid)
  ArtworkReport splash;     // shown once the configuration is accepted
  ArtworkReport titleImage;
  PreviewReport preview;  // filled by the command, not by the folder check
  std::vector<CheckWarning> warnings;
};

// kExitRefused when the configuration is refused, else kExitWarnings when
// there is any warning, else kExitFine.
inline int CheckExitCode(const CheckReport& report) {
  if (!report.valid) return kExitRefused;
  return report.warnings.empty() ? kExitFine : kExitWarnings;
}
