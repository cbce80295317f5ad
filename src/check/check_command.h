#pragma once

#include <string>
#include <vector>

// The command line of nolm-check, parsed:
// `[--json] [--preview <out folder>] <game folder>`.
struct CheckArguments {
  bool ok = false;    // false: `error` says what is wrong (empty for --help)
  bool help = false;  // --help or -h: print the usage and exit 0
  bool json = false;
  std::wstring previewFolder;  // --preview's folder; empty without --preview
  std::wstring folder;
  std::wstring error;
};

// Parses the arguments after the program name. Does not look at the disk.
CheckArguments ParseCheckArguments(const std::vector<std::wstring>& arguments);

// The whole program: parses the arguments, checks the folder and writes the
// report to stdout (messages about usage to stderr); with --preview, writes
// the two pictures first. Returns the exit code: 0 fine, 1 refused, 2 runs
// with warnings, 64 bad usage, 70 when GDI+ cannot start, 73 when a picture
// cannot be written, 74 when the report cannot be written whole.
int RunCheckCommand(int argc, wchar_t** argv);
