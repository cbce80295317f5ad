#include "install/run_hidden_process.h"

#include <vector>

#include "common/handles.h"

namespace {

UniqueHandle OpenInheritableNulDevice(DWORD access) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  return UniqueHandle(CreateFileW(/* lpFileName */ L"NUL",
                                  /* dwDesiredAccess */ access,
                                  /* dwShareMode */ FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  /* lpSecurityAttributes */ &inheritable,
                                  /* dwCreationDisposition */ OPEN_EXISTING,
                                  /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                  /* hTemplateFile */ nullptr));
}

// An inheritable twin of the caller's handle, so the caller's own stays as it was.
UniqueHandle InheritableCopy(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(/* hSourceProcessHandle */ GetCurrentProcess(),
                       /* hSourceHandle */ handle,
                       /* hTargetProcessHandle */ GetCurrentProcess(),
                       /* lpTargetHandle */ &copy,
                       /* dwDesiredAccess */ 0,
                       /* bInheritHandle */ TRUE,
                       /* dwOptions */ DUPLICATE_SAME_ACCESS)) {
    return UniqueHandle();
  }
  return UniqueHandle(copy);
}

// Names the handles the child may inherit. Without such a list every
// inheritable handle of this process, another thread's included, would go to
// the child. Empty when the list cannot be made.
std::vector<char> InheritOnly(HANDLE* handles, size_t count) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> buffer(size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
  if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return {};
  if (!UpdateProcThreadAttribute(/* lpAttributeList */ list,
                                 /* dwFlags */ 0,
                                 /* Attribute */ PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                 /* lpValue */ handles,
                                 /* cbSize */ count * sizeof(HANDLE),
                                 /* lpPreviousValue */ nullptr,
                                 /* lpReturnSize */ nullptr)) {
    DeleteProcThreadAttributeList(list);
    return {};
  }
  return buffer;
}

}  // namespace

std::optional<DWORD> RunHiddenProcessForExitCode(std::wstring commandLine, HANDLE output) {
  const UniqueHandle input = OpenInheritableNulDevice(GENERIC_READ);
  const UniqueHandle childOutput =
      output ? InheritableCopy(output) : OpenInheritableNulDevice(GENERIC_WRITE);
  if (!input || !childOutput) return std::nullopt;

  HANDLE inherited[] = {input.get(), childOutput.get()};
  std::vector<char> attributes = InheritOnly(inherited, 2);
  if (attributes.empty()) return std::nullopt;
  auto* attributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());

  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  startup.StartupInfo.hStdInput = input.get();
  startup.StartupInfo.hStdOutput = childOutput.get();
  startup.StartupInfo.hStdError = childOutput.get();
  startup.lpAttributeList = attributeList;
  PROCESS_INFORMATION process = {};
  // CreateProcessW may write into the command line, so it gets our own copy.
  const BOOL started =
      CreateProcessW(/* lpApplicationName */ nullptr,
                     /* lpCommandLine */ commandLine.data(),
                     /* lpProcessAttributes */ nullptr,
                     /* lpThreadAttributes */ nullptr,
                     /* bInheritHandles */ TRUE,
                     /* dwCreationFlags */ CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
                     /* lpEnvironment */ nullptr,
                     /* lpCurrentDirectory */ nullptr,
                     /* lpStartupInfo */ &startup.StartupInfo,
                     /* lpProcessInformation */ &process);
  DeleteProcThreadAttributeList(attributeList);
  if (!started) return std::nullopt;

  // A slow disk is no failure: the extraction may take as long as it takes.
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 1;  // stands when the query fails, which counts as failure
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

bool RunHiddenProcess(std::wstring commandLine) {
  const std::optional<DWORD> exitCode =
      RunHiddenProcessForExitCode(std::move(commandLine), nullptr);
  return exitCode == DWORD{0};
}
