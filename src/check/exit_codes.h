#pragma once

// nolm-check's exit codes, the same for both checks, so that a pipeline reads
// them alike.
inline constexpr int kExitFine = 0;
// The game check: the shortcut refuses the configuration. The release check:
// a player's installation fails, or repeats on every start.
inline constexpr int kExitRefused = 1;
inline constexpr int kExitWarnings = 2;  // it works, with warnings
inline constexpr int kExitUsage = 64;
inline constexpr int kExitCannotCheck = 70;  // GDI+ or a scratch folder could not be had
inline constexpr int kExitPreviewUnwritten = 73;
inline constexpr int kExitReportUnwritten = 74;  // said on stderr; the output is cut
