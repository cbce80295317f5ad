#include "check/diagnose/installation_look.h"

#include <windows.h>

#include "app/install_lock.h"
#include "check/file_bytes.h"
#include "check/wide_to_utf8.h"
#include "common/handles.h"
#include "deployment.h"
#include "install/install_launcher.h"
#include "install/install_paths.h"
#include "net/file_sha256.h"

bool IsInstallLockHeld(const std::wstring& installDir) {
  // Opened, not created: a mutex nobody made means nobody installs.
  const UniqueHandle mutex(OpenMutexW(/* dwDesiredAccess */ SYNCHRONIZE | MUTEX_MODIFY_STATE,
                                      /* bInheritHandle */ FALSE,
                                      /* lpName */ InstallMutexName(installDir).c_str()));
  if (!mutex) return false;
  const DWORD result = WaitForSingleObject(mutex.get(), 0);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
    // Ours for an instant: given back before a start could wait on us.
    ReleaseMutex(mutex.get());
    return false;
  }
  return result == WAIT_TIMEOUT;
}

InstallationReport LookAtInstallation(const std::wstring& installDir) {
  InstallationReport report;
  const bool launcher = IsFilePresent(installDir + kLauncherExe);
  const bool pack = IsFilePresent(installDir + kLauncherPck);
  if (IsLauncherInstalled(installDir)) {
    report.state = "installed";
  } else if (IsEntryPresent(installDir + kIncompleteMarker)) {
    report.state = "unfinished";
  } else if (!launcher && !pack) {
    report.state = "absent";
  } else {
    report.state = "partial";
  }
  const FileBytes version = ReadFileBytes(installDir + kVersionFile);
  report.versionRead = version.readable && !version.isFolder;
  if (report.versionRead) report.version = ValidUtf8(version.bytes.substr(0, 256));
  report.extractorPresent = IsFilePresent(installDir + kExtractorFile);
  report.extractorPinned =
      report.extractorPresent && FileSha256Hex(installDir + kExtractorFile) == kExtractorSha256;
  report.lockHeld = IsInstallLockHeld(installDir);
  return report;
}
