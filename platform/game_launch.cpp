#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/helpers.hpp"
#include "app/json_file.hpp"
#include "app/log.hpp"
#include "platform/detached_process.hpp"
#include "platform/linux_platform.hpp"

namespace zelvo::launcher {

namespace {

// The game is a Windows program: ZELVO_GAME_RUNNER (words split on blanks)
// names the command that runs it, else wine from PATH.
std::vector<std::string> runner_command() {
  std::vector<std::string> words;
  if (const char* env = std::getenv("ZELVO_GAME_RUNNER")) {
    std::string word;
    for (const char* p = env;; ++p) {
      if (*p == '\0' || *p == ' ' || *p == '\t') {
        if (!word.empty()) words.push_back(word);
        word.clear();
        if (*p == '\0') break;
      } else {
        word += *p;
      }
    }
  }
  if (words.empty()) words.push_back("wine");
  return words;
}

// The runner changes into the game folder first, so a relative game folder
// must not reach it as a relative program path.
std::string absolute_path(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  std::string cwd(4096, '\0');
  if (::getcwd(cwd.data(), cwd.size()) == nullptr) return path;
  cwd.resize(cwd.find('\0'));
  return join_path(cwd, path);
}

bool launch_failed(const std::string& message, std::string* error) {
  if (error != nullptr) *error = message;
  log_printf("launch fail: %s", message.c_str());
  return false;
}

}  // namespace

bool LinuxPlatform::launch_game(const std::string& nickname, const ServerEntry& server,
                                std::string* error) {
  const std::string folder = game_dir();
  const std::string exe = folder + "/gta_sa.exe";
  log_printf("launch: game_dir=%s exe=%s server=%s:%d nick=%s", folder.c_str(), exe.c_str(),
             server.address.c_str(), static_cast<int>(server.port), nickname.c_str());

  struct stat st {};
  if (::stat(exe.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
    return launch_failed(
        "gta_sa.exe not found at " + exe + " (wait for file download to finish or reinstall the game)",
        error);
  }

  nlohmann::json connect = nlohmann::json::object();
  connect["ip"] = server.address;
  connect["nickname"] = nickname;
  connect["port"] = server.port;
  connect["server_name"] = server.name;

  create_directories(folder + "/z");
  const std::string connect_path = folder + "/z/launcher_connect.json";
  // Written through a temporary file, so the game never reads a half file.
  if (!write_file_atomically(connect_path, dump_json_file_text(connect))) {
    return launch_failed(
        "cannot write " + connect_path + " (check folder permissions and free disk space)", error);
  }

  const std::string port = std::to_string(server.port);
  ::setenv("ZELVO_NICKNAME", nickname.c_str(), 1);
  ::setenv("ZELVO_SERVER_IP", server.address.c_str(), 1);
  ::setenv("ZELVO_SERVER_PORT", port.c_str(), 1);
  ::setenv("ZELVO_SERVER_NAME", server.name.c_str(), 1);

  // An argument vector, never a shell line: nothing in a nickname or a
  // server address can add arguments.
  std::vector<std::string> argv = runner_command();
  argv.insert(argv.end(), {absolute_path(exe), "-n", nickname, "-h", server.address, "-p", port});

  pid_t pid = 0;
  const int code = spawn_detached(argv, folder, true, pid);
  if (code != 0) {
    std::string message = "CreateProcess failed for " + exe + ": " + errno_text(code);
    if (code == ENOENT || code == ENOTDIR) {
      message += " (game executable or a dependency is missing)";
    } else if (code == EACCES || code == EPERM) {
      message += " (run the launcher as administrator or check antivirus quarantine)";
    }
    return launch_failed(message, error);
  }
  log_printf("launch: started pid=%lu", static_cast<unsigned long>(pid));
  return true;
}

}  // namespace zelvo::launcher
