// The resolver behind MinGW-w64's delay-import thunks (dlltool
// --output-delaylib), in place of the C runtime's.
//
// A thunk calls it at the first call into a delay-loaded DLL; it loads the
// DLL, finds the function and writes its address into the delay-import
// address table, so that later calls go straight to it. Newer binutils
// (2.44 on) put that table, and the slot for the DLL's module handle, in a
// read-only .idata, and a C runtime that writes there unprotected crashes at
// the first call into GDI+. This one makes the slot writable for the moment
// it writes, whatever the linker chose.
//
// It also loads each DLL from System32 only, however the process's default
// DLL directories are set, so a copy planted beside the program is never
// loaded through a delay import.
//
// MSVC builds use the linker's /DELAYLOAD and its own helper instead.

#include <windows.h>

#include <delayimp.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// Two threads may resolve at once (the splash paints with GDI+ while the
// worker downloads), and two slots can share a page: one thread must not
// protect the page again while the other is still writing.
SRWLOCK resolveLock = SRWLOCK_INIT;

template <typename T>
T* AtRva(DWORD rva) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(&__ImageBase) + rva);
}

// Writes a pointer-sized value into the image, restoring the page's own
// protection afterwards, so that a read-only table stays read-only.
void WriteImageSlot(void* slot, void* value) {
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection)) return;
  *static_cast<void**>(slot) = value;
  VirtualProtect(slot, sizeof(void*), protection, &protection);
}

// As the C runtime's helper does without a failure hook: an exception that
// names the cause, which ends the program. A System32 DLL of Windows 10 is
// missing, or lacks a function the program was linked against.
[[noreturn]] void FailDelayLoad(DWORD error) {
  RaiseException(VcppException(ERROR_SEVERITY_ERROR, error), 0, 0, nullptr);
  ExitProcess(1);  // not reached: the exception is not continuable
}

}  // namespace

extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* slot) {
  AcquireSRWLockExclusive(&resolveLock);
  HMODULE* moduleSlot = AtRva<HMODULE>(descriptor->rvaHmod);
  HMODULE module = *moduleSlot;
  if (module == nullptr) {
    module = LoadLibraryExA(AtRva<const char>(descriptor->rvaDLLName), nullptr,
                            LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) FailDelayLoad(ERROR_MOD_NOT_FOUND);
    WriteImageSlot(moduleSlot, module);
  }
  // The name table runs parallel to the address table.
  const IMAGE_THUNK_DATA* nameEntry = AtRva<const IMAGE_THUNK_DATA>(descriptor->rvaINT) +
                                      (slot - AtRva<FARPROC>(descriptor->rvaIAT));
  const char* name =
      IMAGE_SNAP_BY_ORDINAL(nameEntry->u1.Ordinal)
          ? reinterpret_cast<const char*>(IMAGE_ORDINAL(nameEntry->u1.Ordinal))
          : reinterpret_cast<const char*>(
                AtRva<IMAGE_IMPORT_BY_NAME>(static_cast<DWORD>(nameEntry->u1.AddressOfData))->Name);
  const FARPROC function = GetProcAddress(module, name);
  if (function == nullptr) FailDelayLoad(ERROR_PROC_NOT_FOUND);
  WriteImageSlot(slot, reinterpret_cast<void*>(function));
  ReleaseSRWLockExclusive(&resolveLock);
  return function;
}
