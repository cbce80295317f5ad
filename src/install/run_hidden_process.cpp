#include "install/run_hidden_process.h"

#include <vector>

#include "common/handles.h"
#include "common/held_file_patience.h"

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

// A job that ends every process in it when its last handle closes. Ours is
// the only handle (the child inherits none), so however this process ends
// (TerminateProcess, a crash, a log-off) the system closes it, and no orphan
// goes on holding the launcher's files open. Null when the platform refuses.
UniqueHandle KillOnCloseJob() {
  UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job && !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                      sizeof limits)) {
    job.reset();
  }
  return job;
}

// The first token of a command line, without its quotes: the program that a
// give-up on a held file names.
std::wstring ProgramOf(const std::wstring& commandLine) {
  if (!commandLine.empty() && commandLine[0] == L'"') {
    return commandLine.substr(1, commandLine.find(L'"', 1) - 1);
  }
  return commandLine.substr(0, commandLine.find(L' '));
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
  // Suspended, so that it runs no instruction before it is in the job.
  // Never CREATE_BREAKAWAY_FROM_JOB: a job our own parent put us in (a game
  // store's, a terminal's) keeps its hold on the child.
  // A program written a moment ago may still be held by security software.
  const bool started = RetryWhileHeld(HeldFileStep::kStart, ProgramOf(commandLine), [&] {
    return CreateProcessW(
               /* lpApplicationName */ nullptr,
               /* lpCommandLine */ commandLine.data(),
               /* lpProcessAttributes */ nullptr,
               /* lpThreadAttributes */ nullptr,
               /* bInheritHandles */ TRUE,
               /* dwCreationFlags */ CREATE_NO_WINDOW | CREATE_SUSPENDED |
                   EXTENDED_STARTUPINFO_PRESENT,
               /* lpEnvironment */ nullptr,
               /* lpCurrentDirectory */ nullptr,
               /* lpStartupInfo */ &startup.StartupInfo,
               /* lpProcessInformation */ &process) != FALSE;
  });
  DeleteProcThreadAttributeList(attributeList);
  if (!started) return std::nullopt;
  const UniqueHandle child(process.hProcess);
  const UniqueHandle thread(process.hThread);

  // A refusal (say, by a parent's job that takes no nested one) leaves the
  // child running as it would without a job: the extraction matters more.
  UniqueHandle job = KillOnCloseJob();
  if (job && !AssignProcessToJobObject(job.get(), child.get())) job.reset();
  // A child that cannot be resumed would be waited for forever.
  if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) TerminateProcess(child.get(), 1);

  // A slow disk is no failure: the extraction may take as long as it takes.
  // The job stays open until then, so closing it never ends a running child.
  WaitForSingleObject(child.get(), INFINITE);
  DWORD exitCode = 1;  // stands when the query fails, which counts as failure
  GetExitCodeProcess(child.get(), &exitCode);
  return exitCode;
}

bool RunHiddenProcess(std::wstring commandLine) {
  const std::optional<DWORD> exitCode =
      RunHiddenProcessForExitCode(std::move(commandLine), nullptr);
  return exitCode == DWORD{0};
}
