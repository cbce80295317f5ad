#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testing_support {

// An environment variable, empty when unset.
std::wstring Env(const wchar_t* name);

// Folder of the fixture server's state (files, rules, request log), from the
// test environment. Fails the test when the environment is missing.
std::filesystem::path WwwRoot();

// Folder of the test programs and archives built beside the tests.
std::filesystem::path TestData();

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
bool IsFile(const std::filesystem::path& path);

// A fresh folder under the temp directory whose path holds spaces, removed
// with its contents when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// One request as the fixture server logged it.
struct LoggedRequest {
  std::string host;  // Host header without the port
  std::string method;
  std::string path;
  std::string userAgent;
};

// Serves `bytes` at https://`host``urlPath` ("localhost" or "127.0.0.2").
void ServeBytes(const std::string& host, const std::string& urlPath, const std::string& bytes);
void ServeFile(const std::string& host, const std::string& urlPath,
               const std::filesystem::path& source);

// Replaces the server's per-path behaviour rules (a JSON object).
void SetServerRules(const std::string& rulesJson);

// Empties the served files, the rules and the request log.
void ResetServer();

std::vector<LoggedRequest> LoggedRequests();

// Base for tests that talk to the fixture server: a clean server per test.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetServer(); }
};

}  // namespace testing_support
