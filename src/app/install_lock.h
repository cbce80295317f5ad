#pragma once

#include <string>

#include "common/handles.h"

// Name of the per-user mutex that lets only one copy of the program install
// into `installDir` at a time: "Local\NolmShortcut.Install." and a 64-bit
// hash of the directory, case-folded, as 16 hex digits. Fixed length, since
// object names are limited and may not hold backslashes.
std::wstring InstallMutexName(const std::wstring& installDir);

// Owns the installation mutex of `installDir` from construction until it is
// destroyed. The constructor waits, without a time-out, while another copy of
// the program holds it; a mutex abandoned by a copy that died mid-install
// counts as acquired. If the mutex cannot be created, nothing is held and the
// caller goes on unguarded. Construct and destroy on the same thread.
class InstallLock {
 public:
  explicit InstallLock(const std::wstring& installDir);
  ~InstallLock();
  InstallLock(const InstallLock&) = delete;
  InstallLock& operator=(const InstallLock&) = delete;

 private:
  UniqueHandle mutex_;
  bool owned_ = false;
};
