#include "check/release/console_progress.h"

#include <windows.h>

#include <cstdio>

#include "check/console_output.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::string ByteSize(uint64_t bytes) {
  char text[32];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  } else if (bytes < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.0f KiB", static_cast<double>(bytes) / 1024);
  } else {
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024 * 1024));
  }
  return text;
}

ConsoleProgress StartConsoleProgress(const std::string& label) {
  ConsoleProgress progress;
  progress.label = label;
  DWORD mode = 0;
  progress.console = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
  progress.start = progress.last = std::chrono::steady_clock::now();
  return progress;
}

void ShowConsoleProgress(void* context, uint64_t received, uint32_t declared) {
  auto& progress = *static_cast<ConsoleProgress*>(context);
  if (!progress.console) return;
  const auto now = std::chrono::steady_clock::now();
  const bool done = declared != 0 && received >= declared;
  if (progress.shown && !done && now - progress.last < kRedrawInterval) return;
  progress.last = now;
  progress.shown = true;
  const double seconds = SecondsSince(progress.start);
  const std::string rate =
      seconds > 0 ? ByteSize(static_cast<uint64_t>(static_cast<double>(received) / seconds)) + "/s"
                  : "";
  std::string line = "\r" + progress.label + ": ";
  if (declared != 0) {
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3llu%%",
                  static_cast<unsigned long long>(received * 100 / declared));
    line += std::string(percent) + " of " + ByteSize(declared);
  } else {
    line += ByteSize(received) + " (no length announced)";
  }
  // Trailing spaces wipe what a longer earlier line left.
  WriteStd(STD_ERROR_HANDLE, line + ", " + rate + "        ");
}

void EndConsoleProgress(ConsoleProgress& progress) {
  if (progress.shown) WriteStd(STD_ERROR_HANDLE, "\n");
  progress.shown = false;
}
