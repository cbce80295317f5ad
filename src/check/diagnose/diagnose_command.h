#pragma once

#include <string>

// nolm-check --diagnose: explains on the player's own machine what a start
// of the shortcut meets. Reads the installation in the current user's
// %USERPROFILE%\Nolm\Launcher and the machine, judges `gameFolder` when it is
// not empty as the shortcut does, replays a first installation with this
// build's hosts (`host` instead of the product download host when not
// empty), keys and extractor digest in a scratch folder beside the install
// folder, removes the scratch folder and every folder it made, and ends with
// one verdict. Writes the report (text, or JSON with `json`) to stdout and,
// with `reportFile`, the text report to that file in UTF-8, with the user's
// profile written as %USERPROFILE% and no user or machine name anywhere.
// Returns the verdict's exit code (0, 1 or 2), 64 for bad usage (a game
// folder that does not exist, a host given as a URL), 74 when a report
// could not be written whole. Blocks.
int RunDiagnoseCommand(bool json, const std::wstring& host, const std::wstring& reportFile,
                       const std::wstring& gameFolder);

// True when this process is alone in its console: started by a double click
// in Explorer rather than from a terminal, whose own process shares it.
bool IsAloneInConsole();

// The double-click start: runs the diagnosis, writes nolm-report.txt beside
// the program (in %TEMP% when that folder cannot be written), says where,
// and waits for Enter before the console window closes. Returns the
// diagnosis's exit code.
int RunDiagnoseByDoubleClick();
