#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// One download's progress line on stderr, redrawn in place at most ten times
// a second, as a person at a terminal expects. Shown only when stderr is a
// console: a pipeline's log gets no progress lines.
struct ConsoleProgress {
  std::string label;  // what downloads, such as "launcher/launcher.7z"
  bool console = false;
  bool shown = false;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point last;
};

ConsoleProgress StartConsoleProgress(const std::string& label);

// DownloadDetail::chunkReceived's form: `progress` is a ConsoleProgress.
void ShowConsoleProgress(void* progress, uint64_t received, uint32_t declared);

// Ends the line, when one was shown.
void EndConsoleProgress(ConsoleProgress& progress);

// "57.6 MiB", "812 KiB", "17 bytes".
std::string ByteSize(uint64_t bytes);
