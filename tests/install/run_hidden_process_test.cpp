#include "install/run_hidden_process.h"

#include <windows.h>

#include <filesystem>
#include <string>
#include <thread>

#include "common/held_file_patience.h"
#include "install/install_paths.h"
#include "support/test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::wstring Quoted(const fs::path& path) {
  return L"\"" + path.wstring() + L"\"";
}

// exit_code.exe copied into a folder whose path holds spaces; it appends its
// command line (UTF-16, one per line) to "<its path>.ran" and exits with the
// code given as its first argument.
class RunHiddenProcessTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs::copy_file(TestData() / "exit_code.exe", program_)); }

  std::wstring Runs() const {
    const std::string bytes = ReadBytes(program_.wstring() + L".ran");
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                        bytes.size() / sizeof(wchar_t));
  }

  TempFolder folder_;
  const fs::path program_ = folder_.path() / "exit code.exe";
};

TEST_F(RunHiddenProcessTest, OnlyExitCodeZeroSucceeds) {
  EXPECT_TRUE(RunHiddenProcess(Quoted(program_) + L" 0"));
  EXPECT_FALSE(RunHiddenProcess(Quoted(program_) + L" 1"));
  EXPECT_FALSE(RunHiddenProcess(Quoted(program_) + L" 2"));
  // Each ran to its end before its result came back.
  EXPECT_EQ(Runs(),
            Quoted(program_) + L" 0\n" + Quoted(program_) + L" 1\n" + Quoted(program_) + L" 2\n");
}

TEST_F(RunHiddenProcessTest, MissingProgramFails) {
  EXPECT_FALSE(RunHiddenProcess(Quoted(folder_.path() / "no such program.exe") + L" 0"));
}

TEST_F(RunHiddenProcessTest, QuotedPathWithSpacesRunsThatProgram) {
  // The quoted first token alone names the program, and the child gets the
  // command line exactly as given.
  const std::wstring commandLine =
      Quoted(program_) + L" 0 x \"-o" + folder_.path().wstring() + L"\" -y";
  EXPECT_TRUE(RunHiddenProcess(commandLine));
  EXPECT_EQ(Runs(), commandLine + L"\n");
}

// A program just written, still held by security software as it is started:
// the start waits for the hold to end, and names the program if it gives up.
TEST_F(RunHiddenProcessTest, ProgramHeldForAMomentStartsOnceFree) {
  ClearLastHeldFileGiveUp();
  const auto hold = [&] {
    return CreateFileW(program_.c_str(), GENERIC_READ, /* dwShareMode */ 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE held = hold();
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::thread release([held] {
    Sleep(300);
    CloseHandle(held);
  });
  EXPECT_TRUE(RunHiddenProcess(Quoted(program_) + L" 0"));
  release.join();
  EXPECT_FALSE(LastHeldFileGiveUp().happened);

  held = hold();
  const HeldFileBudget saved = ProcessHeldFileBudget();
  ProcessHeldFileBudget().remainingMs = 0;
  EXPECT_FALSE(RunHiddenProcess(Quoted(program_) + L" 0"));
  ProcessHeldFileBudget() = saved;
  CloseHandle(held);
  EXPECT_EQ(LastHeldFileGiveUp().path, program_.wstring());
  EXPECT_EQ(LastHeldFileGiveUp().step, HeldFileStep::kStart);
}

// The installation's own use: the real extractor, laid out as installed, with
// the command line the installation builds, in a folder with spaces.
class ExtractorTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(installDir_ / "lib");
    fs::create_directories(installDir_ / "temp");
    ASSERT_TRUE(fs::copy_file(TestData() / "7zr.exe", installDir_ / "lib" / "7zr.exe"));
  }

  bool Extract(const char* archive) {
    fs::copy_file(TestData() / archive, installDir_ / "temp" / "launcher_install.7z",
                  fs::copy_options::overwrite_existing);
    return RunHiddenProcess(ExtractorCommandLine(installDir_.wstring()));
  }

  TempFolder folder_;
  const fs::path installDir_ = folder_.path() / "Nolm Launcher";
};

TEST_F(ExtractorTest, UnpacksTheLauncherArchive) {
  EXPECT_TRUE(Extract("launcher.7z"));
  EXPECT_TRUE(IsFile(installDir_ / "launcher.exe"));
  EXPECT_TRUE(IsFile(installDir_ / "launcher.pck"));
}

TEST_F(ExtractorTest, CorruptArchiveFails) {
  EXPECT_FALSE(Extract("corrupt.7z"));
}

}  // namespace
