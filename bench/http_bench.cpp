// CurlHttpClient against the curl tool over loopback HTTPS from one server:
// (a) one 1 GiB download: time ratio and the client's peak memory;
// (b) 2,000 files of 64 KiB one after another: time ratio.
// Every transfer runs in a child process, so each side's time includes its
// start-up and the peak memory is that process's alone.
//
// Usage: http_bench [work-folder]
// (internally also: http_bench --one URL CA DEST, http_bench --list FILE CA)

#include <httplib.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "net/curl_http_client.hpp"
#include "tools/dev_tls.hpp"

extern char** environ;

namespace {

using zelvo::launcher::CurlHttpClient;

constexpr std::int64_t kBigBytes = 1024LL * 1024 * 1024;
constexpr std::size_t kSmallBytes = 64 * 1024;
constexpr int kSmallCount = 2000;
constexpr int kRounds = 2;

struct RunResult {
  double seconds = 0;
  long max_rss_kib = 0;
  bool ok = false;
};

RunResult run_child(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  RunResult result;
  const auto started = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return result;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return result;
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  result.max_rss_kib = usage.ru_maxrss;
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

int download_one(const std::string& url, const std::string& ca, const std::string& dest) {
  CurlHttpClient client(ca);
  if (!client.download(url, dest, [](std::int64_t, std::int64_t) { return true; })) {
    std::fprintf(stderr, "%s\n", client.last_error().c_str());
    return 1;
  }
  return 0;
}

// Lines of "URL DEST".
int download_list(const std::string& list, const std::string& ca) {
  CurlHttpClient client(ca);
  std::ifstream in(list);
  std::string url;
  std::string dest;
  while (in >> url >> dest) {
    if (!client.download(url, dest, [](std::int64_t, std::int64_t) { return true; })) {
      std::fprintf(stderr, "%s\n", client.last_error().c_str());
      return 1;
    }
  }
  return 0;
}

RunResult best_of(const std::vector<std::string>& args, const std::string& cleanup) {
  RunResult best;
  for (int round = 0; round < kRounds; ++round) {
    RunResult r = run_child(args);
    std::error_code ec;
    if (std::filesystem::is_directory(cleanup, ec)) {
      for (const auto& entry : std::filesystem::directory_iterator(cleanup, ec))
        std::filesystem::remove(entry.path(), ec);
    } else {
      std::filesystem::remove(cleanup, ec);
    }
    if (!r.ok) return r;
    if (round == 0 || r.seconds < best.seconds) best.seconds = r.seconds;
    best.max_rss_kib = std::max(best.max_rss_kib, r.max_rss_kib);
    best.ok = true;
  }
  return best;
}

int run_bench(const std::string& base) {
  char pattern[] = "/zelvo-http-bench-XXXXXX";
  std::string work_template = base + pattern;
  if (mkdtemp(work_template.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string work = work_template;
  zelvo::launcher::DevTlsFiles tls;
  std::string error;
  if (!zelvo::launcher::ensure_dev_tls(work + "/certs", tls, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  // The 1 GiB body is generated on the fly: nothing is stored on the server side.
  static std::string block(256 * 1024, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 % 251);
  const std::string small = block.substr(0, kSmallBytes);
  httplib::SSLServer server(tls.server_cert.c_str(), tls.server_key.c_str());
  server.set_keep_alive_max_count(100000);
  server.Get("/big", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(static_cast<std::size_t>(kBigBytes), "application/octet-stream",
                             [](std::size_t, std::size_t length, httplib::DataSink& sink) {
                               sink.write(block.data(), std::min(length, block.size()));
                               return true;
                             });
  });
  server.Get(R"(/small/(\d+))", [&small](const httplib::Request&, httplib::Response& res) {
    res.set_content(small, "application/octet-stream");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&server] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const std::string base_url = "https://127.0.0.1:" + std::to_string(port);
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

  const std::string big_dest = work + "/big.bin";
  const RunResult curl_big =
      best_of({"curl", "-sS", "--cacert", tls.ca_cert, "-o", big_dest, base_url + "/big"},
              big_dest);
  const RunResult ours_big =
      best_of({self, "--one", base_url + "/big", tls.ca_cert, big_dest}, big_dest);

  const std::string small_dir = work + "/small";
  std::filesystem::create_directories(small_dir);
  std::ofstream list(work + "/list.txt");
  std::ofstream config(work + "/curl.cfg");
  for (int i = 0; i < kSmallCount; ++i) {
    const std::string url = base_url + "/small/" + std::to_string(i);
    const std::string dest = small_dir + "/" + std::to_string(i) + ".bin";
    list << url << ' ' << dest << '\n';
    config << "url = \"" << url << "\"\noutput = \"" << dest << "\"\n";
  }
  list.close();
  config.close();
  const RunResult curl_small =
      best_of({"curl", "-sS", "--cacert", tls.ca_cert, "-K", work + "/curl.cfg"}, small_dir);
  const RunResult ours_small =
      best_of({self, "--list", work + "/list.txt", tls.ca_cert}, small_dir);

  server.stop();
  serving.join();
  std::error_code ec;
  std::filesystem::remove_all(work, ec);

  if (!curl_big.ok || !ours_big.ok || !curl_small.ok || !ours_small.ok) {
    std::fprintf(stderr, "a transfer failed\n");
    return 1;
  }
  const double big_ratio = ours_big.seconds / curl_big.seconds;
  const double small_ratio = ours_small.seconds / curl_small.seconds;
  const double peak_mib = static_cast<double>(ours_big.max_rss_kib) / 1024.0;
  std::printf("1 GiB download: curl %.2f s, CurlHttpClient %.2f s, ratio %.3f (limit 1.1)\n",
              curl_big.seconds, ours_big.seconds, big_ratio);
  std::printf("1 GiB download: peak memory %.1f MiB (limit 64), curl %.1f MiB\n", peak_mib,
              static_cast<double>(curl_big.max_rss_kib) / 1024.0);
  std::printf("%d x 64 KiB: curl %.2f s, CurlHttpClient %.2f s, ratio %.3f (limit 1.5)\n",
              kSmallCount, curl_small.seconds, ours_small.seconds, small_ratio);
  const bool within = big_ratio <= 1.1 && small_ratio <= 1.5 && peak_mib < 64.0;
  std::printf("%s\n", within ? "all within limits" : "OUT OF LIMITS");
  return within ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "--one") return download_one(args[1], args[2], args[3]);
  if (args.size() == 3 && args[0] == "--list") return download_list(args[1], args[2]);
  const char* tmp = std::getenv("TMPDIR");
  return run_bench(args.empty() ? std::string(tmp != nullptr ? tmp : "/tmp") : args[0]);
}
