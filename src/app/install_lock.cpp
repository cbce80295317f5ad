#include "app/install_lock.h"

#include <windows.h>

#include <cstdint>

std::wstring InstallMutexName(const std::wstring& installDir) {
  // The file system ignores case, so two spellings of one folder share a lock.
  std::wstring folded = installDir;
  if (!folded.empty()) CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a over the UTF-16 units
  for (wchar_t unit : folded) {
    hash ^= static_cast<uint16_t>(unit);
    hash *= 0x100000001b3ull;
  }
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = L"Local\\NolmShortcut.Install.";
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
  return name;
}

InstallLock::InstallLock(const std::wstring& installDir)
    : mutex_(CreateMutexW(/* lpMutexAttributes */ nullptr,
                          /* bInitialOwner */ FALSE,
                          /* lpName */ InstallMutexName(installDir).c_str())) {
  if (!mutex_) return;
  const DWORD result = WaitForSingleObject(mutex_.get(), INFINITE);
  // WAIT_ABANDONED: the holder ended mid-install; we own the mutex now and the
  // presence test that follows decides whether to install again.
  owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

InstallLock::~InstallLock() {
  if (owned_) ReleaseMutex(mutex_.get());
}
