#pragma once

#include <string>

// True when the launcher in `installDir` (no trailing backslash) is whole:
// launcher.exe and launcher.pck are files and no temp\install.incomplete
// marker stands beside them. The marker is left by an extraction that failed,
// was cut short or never ended; a folder without it (an installation from
// before the marker existed included) counts as installed.
bool IsLauncherInstalled(const std::wstring& installDir);

// Installs the launcher into `installDir` (no trailing backslash): creates the
// folders, fetches the version manifest and the archive (publishing the
// archive's progress), reuses or fetches and verifies lib\7zr.exe, writes the
// temp\install.incomplete marker, extracts, checks launcher.exe, records
// temp\version.dat and removes the marker as its last step. Any failure from
// the extraction on leaves the marker, so IsLauncherInstalled stays false
// until an installation finishes; when the marker cannot be written, nothing
// is extracted. A build that pins release keys (NOLM_RELEASE_KEYS) reads a
// manifest of at most 64 KiB, also fetches version.json.sig after it and
// stops before the archive unless one of its lines signs the manifest under a
// pinned key and the manifest's "sha256" and "size" are well formed; the
// archive download fails as soon as it is not "size" bytes long, and an
// archive with another SHA-256 is deleted before anything else is fetched or
// unpacked. Hashing and starting the extractor, its archive's first open,
// the deletes of the archive, the extractor and the marker, and the write of
// temp\version.dat wait while another process holds their file, by the
// held-file rule (held_file_patience.h) and within the process's budget; a
// step that still finds its file held after that fails as it would have
// without the wait. Returns true when
// launcher.exe is in place. Shows nothing; worker thread; blocks throughout.
bool InstallLauncher(const std::wstring& installDir);
