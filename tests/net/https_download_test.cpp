#include "net/https_download.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/status_channel.h"
#include "net/file_sha256.h"
#include "net/sha256.h"
#include "support/test_support.h"
#include "text/json_string_value.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr size_t kChunk = 65536;
// A value the download never writes, so any write shows.
constexpr int32_t kUntouched = -7;

// Bytes whose pattern repeats every 32,128 bytes, out of step with the 64 KiB
// reads, so a lost, doubled or reordered chunk changes the content.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

// Stands in for the splash window: a message-only window of this thread, so
// every WM_SPLASH_REFRESH the download posts waits in this thread's queue.
class SplashStandIn {
 public:
  SplashStandIn() {
    window_ = CreateWindowExW(/* dwExStyle */ 0,
                              /* lpClassName */ L"STATIC",
                              /* lpWindowName */ L"",
                              /* dwStyle */ 0,
                              /* X, Y, nWidth, nHeight */ 0, 0, 0, 0,
                              /* hWndParent */ HWND_MESSAGE,
                              /* hMenu */ nullptr,
                              /* hInstance */ nullptr,
                              /* lpParam */ nullptr);
    gSplashWindow = window_;
    gProgress = kUntouched;
  }
  ~SplashStandIn() {
    gSplashWindow = nullptr;
    DestroyWindow(window_);
  }
  SplashStandIn(const SplashStandIn&) = delete;
  SplashStandIn& operator=(const SplashStandIn&) = delete;

  HWND window() const { return window_; }

  // Removes the waiting WM_SPLASH_REFRESH posts and counts them.
  int TakeRefreshes() {
    int count = 0;
    MSG message;
    while (PeekMessageW(&message, window_, WM_SPLASH_REFRESH, WM_SPLASH_REFRESH, PM_REMOVE)) {
      ++count;
    }
    return count;
  }

 private:
  HWND window_ = nullptr;
};

// Requests the fixture server took on its plain-HTTP listeners.
int PlainHttpRequests() {
  std::istringstream log(ReadBytes(WwwRoot() / "requests.log"));
  int count = 0;
  for (std::string line; std::getline(log, line);) {
    if (JsonStringValue(line, "scheme") == "http") ++count;
  }
  return count;
}

// True when another handle can open `path` for reading, sharing everything.
bool OpensForReading(const fs::path& path) {
  HANDLE file =
      CreateFileW(/* lpFileName */ path.c_str(),
                  /* dwDesiredAccess */ GENERIC_READ,
                  /* dwShareMode */ FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  /* lpSecurityAttributes */ nullptr,
                  /* dwCreationDisposition */ OPEN_EXISTING,
                  /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                  /* hTemplateFile */ nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

class HttpsDownloadTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    ASSERT_NE(splash_.window(), nullptr);
  }

  // Downloads https://localhost`urlPath` into the temp folder.
  bool DownloadToFile(const wchar_t* urlPath, bool progress = false) {
    return HttpsDownload(L"localhost", urlPath, destination_.wstring(), nullptr, progress);
  }

  TempFolder folder_;
  const fs::path destination_ = folder_.path() / "download.bin";
  SplashStandIn splash_;
};

TEST_F(HttpsDownloadTest, FileModeReplacesTheDestinationWithTheBody) {
  const std::string body = Pattern(3 * kChunk + 1234);
  ServeBytes("localhost", "/files/body.bin", body);
  // Longer than the body: a destination that is not truncated keeps its tail.
  WriteBytes(destination_, std::string(4 * kChunk, 'x'));

  EXPECT_TRUE(DownloadToFile(L"/files/body.bin"));
  EXPECT_EQ(ReadBytes(destination_), body);

  // Hashed as it arrives: every chunk, in order.
  const std::string longer = Pattern(10 * kChunk + 77);
  ServeBytes("localhost", "/files/long.bin", longer);
  Sha256Stream hash;
  DownloadChecks checks;
  checks.chunkReceived = [](void* stream, const void* data, size_t size) {
    return static_cast<Sha256Stream*>(stream)->Add(data, size);
  };
  checks.context = &hash;
  EXPECT_TRUE(HttpsDownload(L"localhost", L"/files/long.bin", destination_.wstring(), nullptr,
                            false, nullptr, &checks));
  unsigned char streamed[kSha256Bytes];
  unsigned char whole[kSha256Bytes];
  ASSERT_TRUE(hash.Finish(streamed));
  ASSERT_TRUE(Sha256Of(longer, whole));
  EXPECT_EQ(HexLower(streamed, kSha256Bytes), HexLower(whole, kSha256Bytes));
}

TEST_F(HttpsDownloadTest, MemoryModeAppendsToTheReceiver) {
  const std::string body = Pattern(2 * kChunk + 99);
  ServeBytes("localhost", "/version.json", body);
  std::string received = "kept:";

  EXPECT_TRUE(HttpsDownload(L"localhost", L"/version.json", L"", &received, false));
  EXPECT_EQ(received, "kept:" + body);

  // A body longer than the caller's limit fails as it arrives.
  DownloadChecks limit;
  limit.maxBytes = body.size();
  received.clear();
  EXPECT_TRUE(
      HttpsDownload(L"localhost", L"/version.json", L"", &received, false, nullptr, &limit));
  limit.maxBytes = body.size() - 1;
  EXPECT_FALSE(
      HttpsDownload(L"localhost", L"/version.json", L"", &received, false, nullptr, &limit));
}

TEST_F(HttpsDownloadTest, StatusOtherThan200FailsAndLeavesNoFile) {
  ServeBytes("localhost", "/answer.bin", "a body that must not be stored");
  // 404: nothing served at that path. 203: a success code, but not 200.
  const struct {
    const wchar_t* path;
    const char* rules;
  } cases[] = {{L"/missing.bin", "{}"},
               {L"/answer.bin", R"({"/answer.bin": {"status": 500}})"},
               {L"/answer.bin", R"({"/answer.bin": {"status": 203}})"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rules);
    SetServerRules(c.rules);
    fs::remove(destination_);
    EXPECT_FALSE(DownloadToFile(c.path));
    EXPECT_FALSE(fs::exists(destination_)) << "created";

    // A file from an earlier run must not pass for a download.
    WriteBytes(destination_, "stale");
    EXPECT_FALSE(DownloadToFile(c.path));
    EXPECT_FALSE(fs::exists(destination_)) << "stale file kept";

    std::string received;
    EXPECT_FALSE(HttpsDownload(L"localhost", c.path, L"", &received, false));
    EXPECT_EQ(received, "") << "an error page was delivered";
  }
}

TEST_F(HttpsDownloadTest, UnknownLengthDownloadsWholeWithoutProgress) {
  const std::string body = Pattern(3 * kChunk + 17);
  ServeBytes("localhost", "/chunked.bin", body);
  ServeBytes("localhost", "/closed.bin", body);
  SetServerRules(R"({"/chunked.bin": {"chunked": true},
                     "/closed.bin": {"close_delimited": true}})");

  for (const wchar_t* path : {L"/chunked.bin", L"/closed.bin"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(path)));
    EXPECT_TRUE(DownloadToFile(path, true));
    EXPECT_EQ(ReadBytes(destination_), body);
    // Without an announced length there is nothing to measure against.
    EXPECT_EQ(gProgress.load(), kUntouched);
    EXPECT_EQ(splash_.TakeRefreshes(), 0);
  }
}

TEST_F(HttpsDownloadTest, ProgressEndsAtOneThousandWithOnePostPerRead) {
  // Wine's WinHttpReadData returns only once the whole 64 KiB buffer is full
  // or the body has ended, so a body of N bytes takes ceil(N / 65536) reads
  // here. Windows may return shorter reads, and post more often.
  const struct {
    size_t size;
    int reads;
  } cases[] = {{1, 1}, {kChunk, 1}, {4 * kChunk + 1000, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    ServeBytes("localhost", "/launcher.7z", Pattern(c.size));
    gProgress = kUntouched;

    EXPECT_TRUE(DownloadToFile(L"/launcher.7z", true));
    EXPECT_EQ(gProgress.load(), 1000);
    EXPECT_EQ(splash_.TakeRefreshes(), c.reads);
  }
}

TEST_F(HttpsDownloadTest, ThrottledBodyCompletesWithRisingProgress) {
  const std::string body = Pattern(8 * kChunk);
  ServeBytes("localhost", "/slow.7z", body);
  SetServerRules(R"({"/slow.7z": {"throttle_bytes_per_sec": 524288}})");
  constexpr UINT kFinished = WM_APP + 50;

  // As in the program: the download on a worker, the values read on the
  // window's thread as each refresh request arrives.
  std::atomic<bool> ok{false};
  std::thread worker([&] {
    ok = DownloadToFile(L"/slow.7z", true);
    PostMessageW(splash_.window(), kFinished, 0, 0);  // queued behind every refresh
  });
  std::vector<int32_t> seen;
  int opensWhileWriting = 0;
  int checksWhileWriting = 0;
  MSG message;
  while (GetMessageW(&message, splash_.window(), 0, 0) > 0 && message.message != kFinished) {
    if (message.message != WM_SPLASH_REFRESH) continue;
    seen.push_back(gProgress.load());
    // Nobody may read the half-written file. Below 1000 after the attempt,
    // the download was still writing during it.
    const bool opened = OpensForReading(destination_);
    if (gProgress.load() < 1000) {
      ++checksWhileWriting;
      opensWhileWriting += opened;
    }
  }
  worker.join();

  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadBytes(destination_), body);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 1000);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i]) << "at " << i;
  std::vector<int32_t> distinct = seen;
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  EXPECT_GE(distinct.size(), 3u) << "the bar would jump instead of filling";
  EXPECT_GE(distinct.front(), 0);
  EXPECT_GT(checksWhileWriting, 0);
  EXPECT_EQ(opensWhileWriting, 0) << "the destination was shared while being written";
}

TEST_F(HttpsDownloadTest, WithoutProgressFlagTouchesNothing) {
  ServeBytes("localhost", "/lib/7zr.exe", Pattern(2 * kChunk + 5));

  EXPECT_TRUE(DownloadToFile(L"/lib/7zr.exe", false));
  std::string received;
  EXPECT_TRUE(HttpsDownload(L"localhost", L"/lib/7zr.exe", L"", &received, false));
  EXPECT_EQ(gProgress.load(), kUntouched);
  EXPECT_EQ(splash_.TakeRefreshes(), 0);
}

TEST_F(HttpsDownloadTest, MissingDestinationFolderFailsAfterAnswer) {
  ServeBytes("localhost", "/body.bin", "content");
  const fs::path nowhere = folder_.path() / "no such folder" / "body.bin";

  EXPECT_FALSE(HttpsDownload(L"localhost", L"/body.bin", nowhere.wstring(), nullptr, false));
  EXPECT_EQ(LoggedRequests().size(), 1u);
  EXPECT_FALSE(fs::exists(nowhere.parent_path()));
}

TEST_F(HttpsDownloadTest, EmptyBodyIsASuccess) {
  ServeBytes("localhost", "/empty.bin", "");
  WriteBytes(destination_, "old content");

  EXPECT_TRUE(DownloadToFile(L"/empty.bin", true));
  EXPECT_TRUE(IsFile(destination_));
  EXPECT_EQ(fs::file_size(destination_), 0u);

  std::string received = "kept";
  EXPECT_TRUE(HttpsDownload(L"localhost", L"/empty.bin", L"", &received, false));
  EXPECT_EQ(received, "kept");
}

TEST_F(HttpsDownloadTest, UntrustedCertificateFails) {
  // The download always dials port 443 where the fixture certificate is
  // trusted; the untrusted one is served on port 8443, which a redirect
  // reaches. The platform checks the certificate of every connection, and a
  // download that ignored certificate errors would fetch the target.
  ServeBytes("localhost", "/target.bin", "served behind an untrusted certificate");
  SetServerRules(R"({"/start.bin": {"redirect": "https://localhost:8443/target.bin"}})");

  EXPECT_FALSE(DownloadToFile(L"/start.bin"));
  EXPECT_FALSE(fs::exists(destination_));
  // The handshake fails before a request is sent to the untrusted server.
  const std::vector<LoggedRequest> requests = LoggedRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].path, "/start.bin");
}

TEST_F(HttpsDownloadTest, RedirectToPlainHttpIsRefused) {
  ServeBytes("localhost", "/launcher.7z", "would arrive in clear text");
  SetServerRules(R"({"/launcher.7z": {"redirect_http": true}})");

  EXPECT_FALSE(DownloadToFile(L"/launcher.7z"));
  EXPECT_FALSE(fs::exists(destination_));
  EXPECT_EQ(PlainHttpRequests(), 0) << "the plain-HTTP listener was asked";
}

TEST_F(HttpsDownloadTest, HttpsRedirectsAreFollowed) {
  const std::string body = Pattern(kChunk + 3);
  ServeBytes("localhost", "/new/launcher.7z", body);
  ServeBytes("localhost", "/old/launcher.7z", "the old location's own bytes");
  for (int status : {301, 302, 307}) {
    SCOPED_TRACE(status);
    SetServerRules(R"({"/old/launcher.7z": {"redirect": "/new/launcher.7z", "redirect_status": )" +
                   std::to_string(status) + "}}");
    EXPECT_TRUE(DownloadToFile(L"/old/launcher.7z"));
    EXPECT_EQ(ReadBytes(destination_), body);
  }
}

TEST_F(HttpsDownloadTest, BrokenBodyFailsAndLeavesNoFile) {
  const std::string body = Pattern(4 * kChunk);
  ServeBytes("localhost", "/reset.bin", body);
  ServeBytes("localhost", "/short.bin", body);
  ServeBytes("localhost", "/reset-chunked.bin", body);
  // A reset mid-body is a read error, with or without an announced length; a
  // clean close short of the announced length is reported by Wine like a
  // normal end, and must fail all the same.
  SetServerRules(R"({"/reset.bin": {"drop_after_bytes": 100000},
                     "/reset-chunked.bin": {"drop_after_bytes": 100000, "chunked": true},
                     "/short.bin": {"content_length_override": 300000}})");

  for (const wchar_t* path : {L"/reset.bin", L"/reset-chunked.bin", L"/short.bin"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(path)));
    gProgress = kUntouched;
    EXPECT_FALSE(DownloadToFile(path, true));
    EXPECT_FALSE(fs::exists(destination_));
    EXPECT_LT(gProgress.load(), 1000);

    std::string received;
    EXPECT_FALSE(HttpsDownload(L"localhost", path, L"", &received, false));
  }
}

TEST_F(HttpsDownloadTest, SendsOnePlainGetAsTheProduct) {
  ServeBytes("127.0.0.2", "/ip7z/releases/7zr.exe", "extractor");
  std::string received;

  EXPECT_TRUE(HttpsDownload(L"127.0.0.2", L"/ip7z/releases/7zr.exe", L"", &received, false));
  EXPECT_EQ(received, "extractor");
  const std::vector<LoggedRequest> requests = LoggedRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].host, "127.0.0.2");
  EXPECT_EQ(requests[0].path, "/ip7z/releases/7zr.exe");
  EXPECT_EQ(requests[0].userAgent, "NolmShortcut/1.0");
}

TEST_F(HttpsDownloadTest, DestinationHeldOpenFails) {
  ServeBytes("localhost", "/body.bin", "new content");
  WriteBytes(destination_, "held");
  HANDLE holder = CreateFileW(/* lpFileName */ destination_.c_str(),
                              /* dwDesiredAccess */ GENERIC_READ | GENERIC_WRITE,
                              /* dwShareMode */ 0,
                              /* lpSecurityAttributes */ nullptr,
                              /* dwCreationDisposition */ OPEN_EXISTING,
                              /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                              /* hTemplateFile */ nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  EXPECT_FALSE(DownloadToFile(L"/body.bin"));
  CloseHandle(holder);
  EXPECT_EQ(ReadBytes(destination_), "held");
}

}  // namespace
