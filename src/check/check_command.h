#pragma once

#include <string>
#include <vector>

// The command line of nolm-check, parsed:
// `[--json] [--preview <out folder>] <game folder>`, or the release check's
// `[--json] --release <folder> [--extractor <7zr.exe>] [--key <key>]...` and
// `[--json] --host <host> [--release <folder>] [--key <key>]...`, and the
// diagnosis `--diagnose [--json] [--host <host>] [--report <file>] [<game folder>]`.
struct CheckArguments {
  bool ok = false;    // false: `error` says what is wrong (empty for --help)
  bool help = false;  // --help or -h: print the usage and exit 0
  bool json = false;
  std::wstring previewFolder;  // --preview's folder; empty without --preview
  std::wstring folder;
  std::wstring error;
  std::wstring release;            // --release: a folder as it will be served
  std::wstring host;               // --host: the live product download host
  std::wstring extractor;          // --extractor: a 7zr.exe instead of the extractor host's
  std::vector<std::wstring> keys;  // each --key as given: base64 or a PEM file's path
  bool diagnose = false;           // --diagnose: this machine's installation, replayed
  std::wstring reportFile;         // --report: the diagnosis's text report goes there too
};

// Parses the arguments after the program name. Does not look at the disk.
CheckArguments ParseCheckArguments(const std::vector<std::wstring>& arguments);

// The whole program: parses the arguments, checks the folder (or the release,
// see release/release_command.h) and writes the report to stdout (messages
// about usage to stderr); with --preview, writes the two pictures first.
// Returns the exit code: 0 fine, 1 refused (or the installation fails), 2
// runs with warnings, 64 bad usage, 70 when GDI+ (or a scratch folder)
// cannot be had, 73 when a picture cannot be written, 74 when the report
// cannot be written whole; the diagnosis's verdict otherwise (see
// diagnose/diagnose_command.h). With no argument at all in a console of its
// own (a double click), runs the diagnosis and waits for Enter.
int RunCheckCommand(int argc, wchar_t** argv);
