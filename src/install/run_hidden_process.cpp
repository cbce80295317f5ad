#include "install/run_hidden_process.h"

#include <windows.h>

bool RunHiddenProcess(std::wstring commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  // CreateProcessW may write into the command line, so it gets our own copy.
  if (!CreateProcessW(/* lpApplicationName */ nullptr,
                      /* lpCommandLine */ commandLine.data(),
                      /* lpProcessAttributes */ nullptr,
                      /* lpThreadAttributes */ nullptr,
                      /* bInheritHandles */ FALSE,
                      /* dwCreationFlags */ CREATE_NO_WINDOW,
                      /* lpEnvironment */ nullptr,
                      /* lpCurrentDirectory */ nullptr,
                      /* lpStartupInfo */ &startup,
                      /* lpProcessInformation */ &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 1;  // stands when the query fails, which counts as failure
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode == 0;
}
