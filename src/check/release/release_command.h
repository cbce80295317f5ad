#pragma once

#include <string>
#include <vector>

// nolm-check's release mode: checks the release `folder` and/or the live
// `host` (either may be empty, not both), unpacking with `extractor` when
// given, as a shortcut pinning `keys` (--key arguments) when there are any,
// writes the report (text, or JSON with `json`) to stdout and returns the
// exit code: 0 fine, 1 an error, 2 warnings only, 64 bad usage (no such
// folder or file, a host given as a URL, a key that is not a P-256 public
// key), 70 when no scratch folder can be made, 74 when the report cannot be
// written whole. Blocks.
int RunReleaseCommand(bool json, const std::wstring& folder, const std::wstring& host,
                      const std::wstring& extractor, const std::vector<std::wstring>& keys);
