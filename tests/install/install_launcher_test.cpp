// InstallLauncher against the fixture server, with the real 7zr.exe and
// archives built from the test launcher. Each failure test checks the whole
// tree left under the profile, so a stray or missing file shows by name.
#include "install/install_launcher.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/held_file_patience.h"
#include "install/install_paths.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

constexpr char kExtractorUrl[] = "/ip7z/7zip/releases/download/26.01/7zr.exe";
// Non-ASCII on purpose: version.dat holds the manifest's bytes, not a conversion.
constexpr char kVersion[] = "2.3.1-\xC3\xA9t\xC3\xA9";
// Longer than kVersion, so a record that is not truncated shows its tail.
constexpr char kEarlierVersion[] = "0.9.0-preview.20240101";

// "host path" of every request the server saw, in order.
std::vector<std::string> Requests() {
  std::vector<std::string> lines;
  for (const LoggedRequest& request : LoggedRequests()) {
    lines.push_back(request.host + " " + request.path);
  }
  return lines;
}

const std::string kManifestRequest = "localhost /launcher/version.json";
const std::string kArchiveRequest = "localhost /launcher/launcher.7z";
const std::string kExtractorRequest = std::string("127.0.0.2 ") + kExtractorUrl;

// Every entry under `root`, relative and with forward slashes; folders end in '/'.
std::vector<std::string> Tree(const fs::path& root) {
  std::vector<std::string> entries;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    std::string entry = fs::relative(it->path(), root).generic_string();
    if (it->is_directory()) entry += '/';
    entries.push_back(entry);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

class InstallLauncherTest : public ServerTest {
 protected:
  // The manifest, then `archive` and `extractor` from the test data.
  void ServeRelease(const char* archive = "launcher.7z", const char* extractor = "7zr.exe") {
    ServeBytes("localhost", "/launcher/version.json",
               std::string(R"({"name": "Nolm Launcher", "version": ")") + kVersion + "\"}");
    ServeFile("localhost", "/launcher/launcher.7z", TestData() / archive);
    ServeFile("127.0.0.2", kExtractorUrl, TestData() / extractor);
  }

  void PlaceVerifiedExtractor() {
    fs::create_directories(dir_ / "lib");
    fs::copy_file(TestData() / "7zr.exe", dir_ / "lib" / "7zr.exe");
  }

  // A record from an earlier installation, which no failure may touch.
  void SeedEarlierVersion() { WriteBytes(dir_ / "temp" / "version.dat", kEarlierVersion); }

  bool Install() { return InstallLauncher(dir_.wstring()); }

  // The four folders every run makes, plus `more` under the install directory.
  static std::vector<std::string> Skeleton(std::vector<std::string> more = {}) {
    std::vector<std::string> entries = {"Nolm/", "Nolm/Launcher/", "Nolm/Launcher/lib/",
                                        "Nolm/Launcher/temp/"};
    for (const std::string& entry : more) entries.push_back("Nolm/Launcher/" + entry);
    std::sort(entries.begin(), entries.end());
    return entries;
  }

  TempFolder profile_;
  fs::path dir_ = profile_.path() / "Nolm" / "Launcher";
};

// ---- successful installations -------------------------------------------

TEST_F(InstallLauncherTest, FirstInstallationFetchesInOrderAndLeavesTheLauncher) {
  ServeRelease();
  ASSERT_TRUE(Install());

  // Manifest before archive before extractor, each from its own host, once.
  EXPECT_EQ(Requests(),
            (std::vector<std::string>{kManifestRequest, kArchiveRequest, kExtractorRequest}));
  // Both missing levels were made; the archive is gone after extraction.
  EXPECT_EQ(Tree(profile_.path()),
            Skeleton({"launcher.exe", "launcher.pck", "lib/7zr.exe", "temp/version.dat"}));
  EXPECT_EQ(ReadBytes(dir_ / "launcher.exe"), ReadBytes(TestData() / "test_launcher.exe"));
  EXPECT_EQ(ReadBytes(dir_ / "lib" / "7zr.exe"), ReadBytes(TestData() / "7zr.exe"));
  // Exactly the version's bytes: no BOM, no terminator, no line end.
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kVersion);
}

TEST_F(InstallLauncherTest, SecondInstallationReusesTheVerifiedExtractorAndOverwrites) {
  ServeRelease();
  PlaceVerifiedExtractor();
  WriteBytes(dir_ / "launcher.exe", "an older launcher");
  WriteBytes(dir_ / "settings.ini", "kept by the launcher itself");
  SeedEarlierVersion();

  ASSERT_TRUE(Install());

  // The verified copy is used as it is: the release host is never asked.
  EXPECT_EQ(Requests(), (std::vector<std::string>{kManifestRequest, kArchiveRequest}));
  EXPECT_EQ(ReadBytes(dir_ / "launcher.exe"), ReadBytes(TestData() / "test_launcher.exe"));
  EXPECT_EQ(ReadBytes(dir_ / "settings.ini"), "kept by the launcher itself");
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kVersion);
  EXPECT_EQ(Tree(profile_.path()), Skeleton({"launcher.exe", "launcher.pck", "lib/7zr.exe",
                                             "settings.ini", "temp/version.dat"}));
}

TEST_F(InstallLauncherTest, ExtractorWithOtherContentIsFetchedAgain) {
  ServeRelease();
  const std::string pinned = ReadBytes(TestData() / "7zr.exe");
  WriteBytes(dir_ / "lib" / "7zr.exe", pinned.substr(0, pinned.size() / 2));

  ASSERT_TRUE(Install());

  EXPECT_EQ(Requests(),
            (std::vector<std::string>{kManifestRequest, kArchiveRequest, kExtractorRequest}));
  EXPECT_EQ(ReadBytes(dir_ / "lib" / "7zr.exe"), pinned);
  EXPECT_TRUE(IsFile(dir_ / "launcher.exe"));
}

// Another program holding version.dat open past the wait for held files
// does not undo a good installation.
TEST_F(InstallLauncherTest, LockedVersionRecordKeepsItsContentAndSucceeds) {
  ServeRelease();
  SeedEarlierVersion();
  ProcessHeldFileBudget().remainingMs = 0;
  const std::wstring record = (dir_ / "temp" / "version.dat").wstring();
  HANDLE held = CreateFileW(record.c_str(), GENERIC_READ, /* dwShareMode */ 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  const bool installed = Install();
  CloseHandle(held);
  ProcessHeldFileBudget() = HeldFileBudget();

  EXPECT_TRUE(installed);
  EXPECT_TRUE(IsFile(dir_ / "launcher.exe"));
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kEarlierVersion);
}

// Security software reading the earlier record as the installation comes to
// write it: the write waits for it and then replaces the record.
TEST_F(InstallLauncherTest, VersionRecordHeldForAMomentIsWrittenAfterTheHold) {
  ServeRelease();
  SeedEarlierVersion();
  const std::wstring record = (dir_ / "temp" / "version.dat").wstring();
  HANDLE held = CreateFileW(record.c_str(), GENERIC_READ, /* dwShareMode */ 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  // The record is written right after the archive's delete, which follows
  // the extraction: the hold lasts from then on for a moment.
  std::thread release([&] {
    const fs::path archive = dir_ / "temp" / "launcher_install.7z";
    for (int ms = 0; ms < 60000 && (!IsFile(dir_ / "launcher.exe") || IsFile(archive)); ++ms) {
      Sleep(1);
    }
    Sleep(300);
    CloseHandle(held);
  });

  const bool installed = Install();
  release.join();

  EXPECT_TRUE(installed);
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kVersion);
}

// ---- failures: result false, and exactly this left behind -----------------

// Each answer below carries no usable manifest by its status or its end,
// though the last two bodies read like one: only a complete 200 may count.
TEST_F(InstallLauncherTest, ManifestErrorStopsBeforeTheArchive) {
  SeedEarlierVersion();
  EXPECT_FALSE(Install());  // not served: 404

  ServeRelease();
  ServeBytes("localhost", "/launcher/version.json", R"({"version": "9"})");
  SetServerRules(R"({"/launcher/version.json": {"status": 500, "body": "{\"version\": \"9\"}"}})");
  EXPECT_FALSE(Install());
  // Announces more than it sends, then closes: the version arrived, the end did not.
  SetServerRules(R"({"/launcher/version.json": {"content_length_override": 4096}})");
  EXPECT_FALSE(Install());

  EXPECT_EQ(Requests(),
            (std::vector<std::string>{kManifestRequest, kManifestRequest, kManifestRequest}));
  EXPECT_EQ(Tree(profile_.path()), Skeleton({"temp/version.dat"}));
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kEarlierVersion);
}

TEST_F(InstallLauncherTest, ManifestWithoutVersionStopsBeforeTheArchive) {
  ServeRelease();
  SeedEarlierVersion();
  for (const char* manifest : {R"({"name": "Nolm Launcher"})", R"({"version": ""})"}) {
    SCOPED_TRACE(manifest);
    ServeBytes("localhost", "/launcher/version.json", manifest);
    EXPECT_FALSE(Install());
  }

  EXPECT_EQ(Requests(), (std::vector<std::string>{kManifestRequest, kManifestRequest}));
  EXPECT_EQ(Tree(profile_.path()), Skeleton({"temp/version.dat"}));
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kEarlierVersion);
}

TEST_F(InstallLauncherTest, ArchiveErrorLeavesNoArchiveAndNeverAsksTheReleaseHost) {
  ServeRelease();
  SeedEarlierVersion();
  SetServerRules(R"({"/launcher/launcher.7z": {"status": 503}})");

  EXPECT_FALSE(Install());

  EXPECT_EQ(Requests(), (std::vector<std::string>{kManifestRequest, kArchiveRequest}));
  EXPECT_EQ(Tree(profile_.path()), Skeleton({"temp/version.dat"}));
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kEarlierVersion);
}

TEST_F(InstallLauncherTest, ExtractorDownloadErrorRemovesExtractorAndArchive) {
  ServeRelease();
  SeedEarlierVersion();
  SetServerRules(std::string(R"({"127.0.0.2)") + kExtractorUrl + R"(": {"status": 404}})");

  EXPECT_FALSE(Install());

  EXPECT_EQ(Requests(),
            (std::vector<std::string>{kManifestRequest, kArchiveRequest, kExtractorRequest}));
  EXPECT_EQ(Tree(profile_.path()), Skeleton({"temp/version.dat"}));
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kEarlierVersion);
}

// exit_code.exe leaves a ".ran" marker beside itself if it is ever started.
TEST_F(InstallLauncherTest, UnverifiedExtractorIsDeletedAndNeverRun) {
  ServeRelease("launcher.7z", "exit_code.exe");
  SeedEarlierVersion();

  EXPECT_FALSE(Install());

  const std::vector<std::string> tree = Tree(profile_.path());
  EXPECT_TRUE(std::none_of(tree.begin(), tree.end(),
                           [](const std::string& entry) { return entry.ends_with(".ran"); }));
  EXPECT_EQ(tree, Skeleton({"temp/version.dat"}));
  EXPECT_EQ(Requests(),
            (std::vector<std::string>{kManifestRequest, kArchiveRequest, kExtractorRequest}));
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kEarlierVersion);
}

TEST_F(InstallLauncherTest, ExtractorFailureKeepsTheExtractorAndTheOldRecord) {
  ServeRelease("corrupt.7z");
  SeedEarlierVersion();

  EXPECT_FALSE(Install());

  // Whatever 7-Zip managed to write may stay, marked as unfinished; the
  // archive and the record may not change.
  const std::vector<std::string> tree = Tree(profile_.path());
  EXPECT_EQ(std::count(tree.begin(), tree.end(), "Nolm/Launcher/temp/launcher_install.7z"), 0);
  EXPECT_TRUE(IsFile(dir_ / "temp" / "install.incomplete"));
  EXPECT_EQ(ReadBytes(dir_ / "lib" / "7zr.exe"), ReadBytes(TestData() / "7zr.exe"));
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kEarlierVersion);
}

TEST_F(InstallLauncherTest, ArchiveWithoutLauncherExeFails) {
  ServeRelease("no-exe.7z");
  SeedEarlierVersion();

  EXPECT_FALSE(Install());

  EXPECT_EQ(Tree(profile_.path()), Skeleton({"launcher.pck", "lib/7zr.exe",
                                             "temp/install.incomplete", "temp/version.dat"}));
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kEarlierVersion);
}

TEST_F(InstallLauncherTest, FolderNamedLauncherExeFails) {
  ServeRelease("exe-is-dir.7z");
  SeedEarlierVersion();

  EXPECT_FALSE(Install());

  EXPECT_EQ(Tree(profile_.path()),
            Skeleton({"launcher.exe/", "launcher.exe/readme.txt", "launcher.pck", "lib/7zr.exe",
                      "temp/install.incomplete", "temp/version.dat"}));
  EXPECT_EQ(ReadBytes(dir_ / "temp" / "version.dat"), kEarlierVersion);
}

// Unmarked, a failed extraction would pass for an installation, so none runs.
TEST_F(InstallLauncherTest, UnwritableMarkerStopsBeforeTheExtraction) {
  ServeRelease();
  fs::create_directories(dir_ / "temp" / "install.incomplete");

  EXPECT_FALSE(Install());

  EXPECT_EQ(Tree(profile_.path()), Skeleton({"lib/7zr.exe", "temp/install.incomplete/"}));
  EXPECT_FALSE(IsLauncherInstalled(dir_.wstring()));
}

// Only the install directory and its parent are made; a profile that does not
// exist is not conjured up, so the archive has nowhere to go.
TEST_F(InstallLauncherTest, MissingHigherAncestorFails) {
  ServeRelease();
  const fs::path absentProfile = profile_.path() / "absent" / "user";
  const std::wstring saved = Env(L"USERPROFILE");
  SetEnvironmentVariableW(L"USERPROFILE", absentProfile.c_str());
  const std::wstring installDir = InstallDirectory();
  SetEnvironmentVariableW(L"USERPROFILE", saved.c_str());

  EXPECT_FALSE(InstallLauncher(installDir));
  EXPECT_EQ(Tree(profile_.path()), std::vector<std::string>{});
}

}  // namespace
