#pragma once

#include <string>

#include "check/game/check_report.h"

// The progress shown in the installing picture: 400 of 1000, 40 %.
inline constexpr int kPreviewProgress = 400;

// The two pictures of a preview, or why they are not there.
struct PreviewFiles {
  bool written = false;
  std::wstring firstFrame;  // full path of first-frame.png
  std::wstring installing;  // full path of installing.png
  std::string error;        // when not written: what failed, UTF-8, one line
};

// Writes into `outFolder` (created, with any missing parent, when missing)
// first-frame.png, the 800 x 350 frame the splash window first shows for the
// artwork in `nolmFolder`, and installing.png, the same frame with the
// progress bar at kPreviewProgress. The artwork is loaded and each frame
// composed by the shortcut's own code, so the pictures are the window's
// pixels. On failure neither file is left behind. GDI+ must be running;
// every image is released before this returns. Main thread.
PreviewFiles WritePreviewFrames(const std::wstring& outFolder, const std::wstring& nolmFolder);

// --preview: for a configuration the shortcut accepts (`report.valid`),
// WritePreviewFrames, telling on stderr what could not be written; for a
// refused one no picture, since its player sees only the message box (and
// none an earlier preview left in `outFolder` stays). Fills `report.preview`.
// False only when a picture was due and could not be written.
bool AddPreview(const std::wstring& outFolder, const std::wstring& nolmFolder, CheckReport& report);
