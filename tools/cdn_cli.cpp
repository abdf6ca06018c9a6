#include "tools/cdn_cli.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "tools/cdn_documents.hpp"
#include "tools/cdn_server.hpp"
#include "tools/demo_tree.hpp"

namespace zelvo::launcher {

namespace {

constexpr const char* kUsage =
    R"(zelvo-cdn: operator tools for a Zelvo Launcher CDN

Usage:
  zelvo-cdn manifest GAME_DIR [--base-url URL] [--protect GLOB]... [--optional GLOB]...
      Print files.json for the game folder GAME_DIR.
  zelvo-cdn update --tag TAG --version V --url URL [--into UPDATE_JSON] FILE
      Print update.json with the entry for TAG describing the launcher build FILE,
      merged into the existing document UPDATE_JSON when given.
  zelvo-cdn serve ROOT [--port N] [--tls-dir DIR]
      Serve the folder ROOT over HTTPS on 127.0.0.1 (port 0 picks a free one).
  zelvo-cdn demo-tree ROOT
      Write a small demo CDN tree with the nodes cdn-ru and cdn-eu under ROOT.
  zelvo-cdn --help

GLOB matches the whole path relative to GAME_DIR: '*' and '?' stay within one
folder, '**' crosses folders, '[...]' is a character set. Quote it for the shell.
)";

constexpr std::int64_t kProgressFromBytes = 64LL * 1024 * 1024;

struct UsageError {
  std::string message;
};

// Positional arguments and options of one sub-command; every option takes a
// value, written "--name VALUE" or "--name=VALUE".
struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::vector<std::string>> options;

  std::string single(const std::string& name) const {
    auto it = options.find(name);
    return it == options.end() || it->second.empty() ? std::string() : it->second.back();
  }
  bool has(const std::string& name) const { return options.count(name) != 0; }
};

std::optional<UsageError> parse_args(const std::vector<std::string>& args,
                                     const std::vector<std::string>& known, ParsedArgs& out) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      out.positional.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> value;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    bool is_known = false;
    for (const auto& k : known) is_known = is_known || k == name;
    if (!is_known) return UsageError{"unknown option --" + name + " for " + args[0]};
    if (!value) {
      if (i + 1 >= args.size()) return UsageError{"option --" + name + " needs a value"};
      value = args[++i];
    }
    out.options[name].push_back(*value);
  }
  return std::nullopt;
}

int usage_error(std::ostream& err, const std::string& message) {
  err << "zelvo-cdn: " << message << " (see zelvo-cdn --help)\n";
  return 2;
}

int failure(std::ostream& err, const std::string& message) {
  err << "zelvo-cdn: " << message << "\n";
  return 1;
}

// Progress only for folders big enough to keep the operator waiting, at
// most twice a second.
HashProgressFn progress_printer(std::ostream& err) {
  using Clock = std::chrono::steady_clock;
  auto last = std::make_shared<Clock::time_point>(Clock::now());
  return [&err, last](const HashProgress& p) {
    if (p.bytes_total < kProgressFromBytes) return;
    const auto now = Clock::now();
    const bool done = p.files_done == p.files_total;
    if (!done && p.files_done != 0 && now - *last < std::chrono::milliseconds(500)) return;
    *last = now;
    err << "hashing: " << p.files_done << "/" << p.files_total << " files, "
        << (p.bytes_done / (1024 * 1024)) << "/" << (p.bytes_total / (1024 * 1024)) << " MiB ("
        << (p.bytes_total > 0 ? p.bytes_done * 100 / p.bytes_total : 100) << "%)\n";
    err.flush();
  };
}

int run_manifest(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ParsedArgs parsed;
  if (auto e = parse_args(args, {"base-url", "protect", "optional"}, parsed))
    return usage_error(err, e->message);
  if (parsed.positional.size() != 1) return usage_error(err, "manifest needs one GAME_DIR");
  ManifestOptions options;
  options.game_dir = parsed.positional[0];
  options.base_url = parsed.single("base-url");
  if (parsed.has("base-url") && options.base_url.empty())
    return usage_error(err, "--base-url needs a URL");
  options.protect = parsed.options["protect"];
  options.optional = parsed.options["optional"];
  std::string text;
  std::string error;
  if (!build_manifest(options, progress_printer(err), text, error)) return failure(err, error);
  out << text;
  return 0;
}

int run_update(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ParsedArgs parsed;
  if (auto e = parse_args(args, {"tag", "version", "url", "into"}, parsed))
    return usage_error(err, e->message);
  if (parsed.positional.size() != 1) return usage_error(err, "update needs one FILE");
  for (const char* required : {"tag", "version", "url"})
    if (!parsed.has(required)) return usage_error(err, std::string("update needs --") + required);
  UpdateOptions options;
  options.tag = parsed.single("tag");
  options.version = parsed.single("version");
  options.url = parsed.single("url");
  options.into = parsed.single("into");
  options.file = parsed.positional[0];
  std::string text;
  std::string error;
  if (!build_update(options, text, error)) return failure(err, error);
  out << text;
  return 0;
}

bool parse_port(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  port = std::stoi(text);
  return port <= 65535;
}

int run_serve(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const std::function<void()>& serve_wait) {
  ParsedArgs parsed;
  if (auto e = parse_args(args, {"port", "tls-dir"}, parsed)) return usage_error(err, e->message);
  if (parsed.positional.size() != 1) return usage_error(err, "serve needs one ROOT");
  CdnServerOptions options;
  options.root = parsed.positional[0];
  if (parsed.has("port") && !parse_port(parsed.single("port"), options.port))
    return usage_error(err, "invalid port '" + parsed.single("port") + "'");
  options.tls_dir = parsed.has("tls-dir") ? parsed.single("tls-dir") : default_tls_dir();

  CdnServer server;
  std::string error;
  if (!server.start(options, [&err](const std::string& line) { err << line << std::endl; },
                    error))
    return failure(err, error);

  out << "ca file: " << server.ca_file() << "\n";
  std::vector<std::string> nodes;
  // The node list is only informative: a folder that cannot be read to the
  // end lists what was read, and the range-for's throwing increment is avoided.
  std::error_code ec;
  for (std::filesystem::directory_iterator it(options.root, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::error_code type_ec;
    if (std::filesystem::is_directory(it->path() / "launcher", type_ec))
      nodes.push_back(it->path().filename().string());
  }
  std::sort(nodes.begin(), nodes.end());
  for (const auto& node : nodes) out << "node: " << server.base_url() << "/" << node << "\n";
  out << "serving " << server.base_url() << std::endl;
  if (serve_wait) serve_wait();
  server.stop();
  return 0;
}

int run_demo_tree(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ParsedArgs parsed;
  if (auto e = parse_args(args, {}, parsed)) return usage_error(err, e->message);
  if (parsed.positional.size() != 1) return usage_error(err, "demo-tree needs one ROOT");
  const std::string& root = parsed.positional[0];
  std::string error;
  if (!write_demo_tree(root, error)) return failure(err, error);
  for (const auto& node : demo_tree_nodes()) out << "node folder: " << root << "/" << node << "\n";
  out << "try it: zelvo-cdn serve " << root << "\n";
  return 0;
}

}  // namespace

int run_cdn_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const std::function<void()>& serve_wait) {
  if (args.empty()) return usage_error(err, "no command given");
  const std::string& command = args[0];
  const bool help = command == "help" || std::any_of(args.begin(), args.end(), [](const auto& a) {
                      return a == "--help" || a == "-h";
                    });
  if (help) {
    out << kUsage;
    return 0;
  }
  if (command == "manifest") return run_manifest(args, out, err);
  if (command == "update") return run_update(args, out, err);
  if (command == "serve") return run_serve(args, out, err, serve_wait);
  if (command == "demo-tree") return run_demo_tree(args, out, err);
  return usage_error(err, "unknown command '" + command + "'");
}

}  // namespace zelvo::launcher
