#pragma once

#include <string>

// SHA-256 of the whole file at `path` as 64 lowercase hex digits, streamed in
// 64 KiB reads. The file is opened with read sharing only, so a file another
// process holds open for writing is refused; while it is held so, the open is
// tried again by the held-file rule (held_file_patience.h), charged to the
// process's budget. Empty on every failure; a read error part-way hashes
// what was read before it.
std::string FileSha256Hex(const std::wstring& path);

// Lowercase hex of `size` bytes, high nibble first.
std::string HexLower(const unsigned char* bytes, size_t size);
