#pragma once

#include <string>

#include "check/diagnose/diagnosis_report.h"

// Reads the installation in `installDir` (no trailing backslash) with the
// shortcut's own presence test, the text of temp\version.dat, whether
// lib\7zr.exe is the pinned build, and whether another copy of the shortcut
// holds the installation lock now. Changes nothing: the lock is never waited
// for, and when it is free it is given back at once.
InstallationReport LookAtInstallation(const std::wstring& installDir);

// True when another process holds the installation mutex of `installDir`
// right now. Never creates the mutex and never waits.
bool IsInstallLockHeld(const std::wstring& installDir);
