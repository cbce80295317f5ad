#include "check/release/release_command.h"

#include <windows.h>

#include "check/console_output.h"
#include "check/exit_codes.h"
#include "check/file_bytes.h"
#include "check/release/release_check.h"
#include "check/release/release_report_writers.h"
#include "check/wide_to_utf8.h"
#include "install/install_paths.h"

namespace {

int Usage(const std::string& error) {
  WriteStd(STD_ERROR_HANDLE, "nolm-check: " + error + "\n(nolm-check --help shows the usage)\n");
  return kExitUsage;
}

}  // namespace

int RunReleaseCommand(bool json, const std::wstring& folder, const std::wstring& host,
                      const std::wstring& extractor, const std::vector<std::wstring>& keys) {
  if (!folder.empty() && !IsFolderPresent(folder))
    return Usage("no such folder: " + WideToUtf8(folder));
  if (!extractor.empty() && !IsFilePresent(extractor)) {
    return Usage("no such file: " + WideToUtf8(extractor));
  }
  if (host.find_first_of(L"/\\") != std::wstring::npos) {
    return Usage("give --host a host name alone, without https:// or a path: " + WideToUtf8(host));
  }
  ReleaseInputs inputs{folder, host, extractor, {}, {}};
  for (const std::wstring& argument : keys) {
    std::string error;
    if (!ReadReleaseKey(argument, &inputs.keys.emplace_back(), &error)) return Usage(error);
  }
  // Judged as this build's own shortcut judges, unless --key says otherwise.
  if (keys.empty()) inputs.keys = PinnedReleaseKeys();
  ReleaseReport report;
  report.releaseFolder = WideToUtf8(folder);
  report.host = WideToUtf8(host);
  if (!CheckRelease(inputs, report)) {
    WriteStd(STD_ERROR_HANDLE,
             "nolm-check: no scratch folder could be made under the temporary folder\n");
    return kExitCannotCheck;
  }
  // A pipeline must not take a cut report, behind a passing exit code, for a whole one.
  if (!WriteStd(STD_OUTPUT_HANDLE, json ? ReleaseJsonReport(report) : ReleaseTextReport(report))) {
    WriteStd(STD_ERROR_HANDLE,
             "nolm-check: the report could not be written whole (is the disk full or the "
             "output closed?)\n");
    return kExitReportUnwritten;
  }
  return ReleaseExitCode(report);
}
