#include "support/test_support.h"

#include <fstream>
#include <sstream>

#include "text/json_string_value.h"

namespace fs = std::filesystem;

namespace testing_support {

std::wstring Env(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

static fs::path RequiredFolder(const wchar_t* variable) {
  const std::wstring value = Env(variable);
  if (value.empty()) {
    ADD_FAILURE() << "environment variable not set; run the tests through ctest";
    return fs::temp_directory_path();
  }
  return fs::path(value);
}

fs::path WwwRoot() {
  return RequiredFolder(L"NOLM_TEST_WWW");
}
fs::path TestData() {
  return RequiredFolder(L"NOLM_TEST_DATA");
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

bool IsFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

TempFolder::TempFolder() {
  static int counter = 0;
  path_ = fs::temp_directory_path() /
          ("nolm test " + std::to_string(GetCurrentProcessId()) + " " + std::to_string(++counter));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

static fs::path ServedPath(const std::string& host, const std::string& urlPath) {
  return WwwRoot() / "files" / host / fs::path(urlPath.substr(1)).make_preferred();
}

void ServeBytes(const std::string& host, const std::string& urlPath, const std::string& bytes) {
  WriteBytes(ServedPath(host, urlPath), bytes);
}

void ServeFile(const std::string& host, const std::string& urlPath, const fs::path& source) {
  const fs::path target = ServedPath(host, urlPath);
  fs::create_directories(target.parent_path());
  // overwrite_existing throws "File exists" in this MinGW runtime: remove first.
  std::error_code ignored;
  fs::remove(target, ignored);
  fs::copy_file(source, target);
}

void SetServerRules(const std::string& rulesJson) {
  WriteBytes(WwwRoot() / "rules.json", rulesJson);
}

void ResetServer() {
  const fs::path root = WwwRoot();
  std::error_code ignored;
  fs::remove_all(root / "files", ignored);
  fs::create_directories(root / "files");
  fs::remove(root / "rules.json", ignored);
  WriteBytes(root / "requests.log", "");
}

std::vector<LoggedRequest> LoggedRequests() {
  std::vector<LoggedRequest> requests;
  std::istringstream log(ReadBytes(WwwRoot() / "requests.log"));
  std::string line;
  while (std::getline(log, line)) {
    if (line.empty()) continue;
    // The server writes flat JSON objects of plain strings: the literal scan
    // of the program itself reads them.
    LoggedRequest request;
    request.host = JsonStringValue(line, "host");
    const size_t colon = request.host.find(':');
    if (colon != std::string::npos) request.host.resize(colon);
    request.method = JsonStringValue(line, "method");
    request.path = JsonStringValue(line, "path");
    request.userAgent = JsonStringValue(line, "user_agent");
    requests.push_back(request);
  }
  return requests;
}

}  // namespace testing_support
