#include "net/file_sha256.h"

#include <windows.h>

#include <filesystem>
#include <string>
#include <thread>

#include "deployment.h"
#include "common/held_file_patience.h"
#include "support/test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Bytes whose pattern repeats every 32,128 bytes, out of step with the 64 KiB
// reads, so a chunk hashed twice, skipped or cut short changes the digest.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

// Expected digests come from Linux tools, not from the platform under test:
//   python3 -c 'import sys; sys.stdout.buffer.write(bytes(((i*7 + i//251) & 0xFF)
//     for i in range(200000)))' | sha256sum
constexpr char kEmptyDigest[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr char kPattern200000Digest[] =
    "e870fec3223bac8f6147b08b31e6e6e4bb9abd783820bcd212b7737af6a02174";
//   head -c 65536 /dev/zero | sha256sum
constexpr char kZeros65536Digest[] =
    "de2f256064a0af797747c2b97505dc0b9f3df0de4f489eac731c23ae9ca9cc31";

TEST(FileSha256Hex, EmptyFileGivesTheDigestOfEmptyInput) {
  TempFolder folder;
  WriteBytes(folder.path() / "empty", "");
  EXPECT_EQ(FileSha256Hex((folder.path() / "empty").wstring()), kEmptyDigest);
}

TEST(FileSha256Hex, MatchesDigestsComputedElsewhere) {
  TempFolder folder;
  // 200,000 bytes end in a partial 64 KiB read; 65,536 bytes end exactly on one.
  const fs::path pattern = folder.path() / "pattern.bin";
  const fs::path zeros = folder.path() / "zeros.bin";
  WriteBytes(pattern, Pattern(200000));
  WriteBytes(zeros, std::string(65536, '\0'));

  EXPECT_EQ(FileSha256Hex(pattern.wstring()), kPattern200000Digest);
  EXPECT_EQ(FileSha256Hex(pattern.wstring()), kPattern200000Digest) << "second call differs";
  EXPECT_EQ(FileSha256Hex(zeros.wstring()), kZeros65536Digest);
  // The build computed this one with CMake's own SHA-256, from a 2 MB program.
  EXPECT_EQ(FileSha256Hex((TestData() / "7zr.exe").wstring()), kExtractorSha256);
}

TEST(FileSha256Hex, UnreadableInputGivesEmpty) {
  TempFolder folder;
  EXPECT_EQ(FileSha256Hex((folder.path() / "missing.exe").wstring()), "");
  EXPECT_EQ(FileSha256Hex(folder.path().wstring()), "") << "a directory";
}

// The digest vouches for a program about to run: a file someone may still be
// writing must not be digested, while another reader is harmless.
TEST(FileSha256Hex, FileOpenForWritingGivesEmptyButReadersAreFine) {
  TempFolder folder;
  const fs::path file = folder.path() / "7zr.exe";
  WriteBytes(file, Pattern(200000));
  const auto holdOpen = [&](DWORD access) {
    return CreateFileW(/* lpFileName */ file.c_str(),
                       /* dwDesiredAccess */ access,
                       /* dwShareMode */ FILE_SHARE_READ | FILE_SHARE_WRITE,
                       /* lpSecurityAttributes */ nullptr,
                       /* dwCreationDisposition */ OPEN_EXISTING,
                       /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                       /* hTemplateFile */ nullptr);
  };

  HANDLE writer = holdOpen(GENERIC_WRITE);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  // A writer holds the file as security software may: with the wait for
  // held files spent, the refusal is at once.
  const HeldFileBudget saved = ProcessHeldFileBudget();
  ProcessHeldFileBudget().remainingMs = 0;
  EXPECT_EQ(FileSha256Hex(file.wstring()), "");
  ProcessHeldFileBudget() = saved;
  CloseHandle(writer);

  HANDLE reader = holdOpen(GENERIC_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(FileSha256Hex(file.wstring()), kPattern200000Digest);
  CloseHandle(reader);
}

// Security software reading a program just written, sharing nothing: the
// digest waits for it to let go instead of refusing a good extractor.
TEST(FileSha256Hex, FileHeldForAMomentIsDigestedOnceFree) {
  TempFolder folder;
  const fs::path file = folder.path() / "7zr.exe";
  WriteBytes(file, Pattern(200000));
  HANDLE scanner = CreateFileW(file.c_str(), GENERIC_READ, /* dwShareMode */ 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
  std::thread release([scanner] {
    Sleep(300);
    CloseHandle(scanner);
  });
  EXPECT_EQ(FileSha256Hex(file.wstring()), kPattern200000Digest);
  release.join();
}

}  // namespace
