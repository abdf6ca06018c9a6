#include "tools/demo_tree.hpp"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "app/json_file.hpp"
#include "tools/cdn_documents.hpp"

namespace zelvo::launcher {

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kKiB = 1024;

// Two servers up, one down and one closed, so every row state of the
// launcher's list shows up; no online.php beside it, so the fallback is used.
constexpr const char* kServers = R"({
  "servers": [
    {
      "id": "zelvo-1",
      "name": "Zelvo Online #1",
      "address": "127.0.0.1",
      "port": 7777,
      "mode": "Role Play",
      "map": "San Andreas",
      "players": 214,
      "maxplayers": 500,
      "enabled": true,
      "online": true
    },
    {
      "id": "zelvo-2",
      "name": "Zelvo Online #2",
      "address": "127.0.0.1",
      "port": 7778,
      "mode": "Role Play",
      "map": "Los Santos",
      "players": 37,
      "maxplayers": 300,
      "enabled": true,
      "online": true
    },
    {
      "id": "zelvo-test",
      "name": "Zelvo Test",
      "ip": "127.0.0.1",
      "port": 7779,
      "gamemode": "Test",
      "map": "Las Venturas",
      "players": 0,
      "maxplayers": 50,
      "enabled": true,
      "online": false
    },
    {
      "id": "zelvo-old",
      "name": "Zelvo Classic",
      "address": "127.0.0.1",
      "port": 7780,
      "mode": "Role Play",
      "map": "San Fierro",
      "players": 0,
      "maxplayers": 200,
      "enabled": false,
      "online": true
    }
  ]
}
)";

constexpr const char* kHandling =
    "; demo handling data\n"
    "LANDSTAL 1700.0 5008.3 2.5 0.0 0.0 -0.3 85 0.75 0.85 0.5 5 160.0 25.0 20.0 4 D\n"
    "BRAVURA 1300.0 2200.8 1.7 0.0 0.3 0.0 70 0.65 0.80 0.52 5 160.0 24.0 10.0 F P\n";

constexpr const char* kMapPlacement =
    "# demo map placement\n"
    "inst\n"
    "1337, dummy, 0, 2495.0, -1687.0, 13.5, 0, 0, 0, 1, -1\n"
    "1338, dummy, 0, 1544.0, -1353.0, 329.5, 0, 0, 0, 1, -1\n"
    "end\n";

constexpr const char* kSettings =
    "[zelvo]\n"
    "; players may edit this file, the launcher leaves it alone\n"
    "chat_lines=10\n"
    "show_fps=0\n";

// Deterministic filler, so the manifest is the same on every run.
std::string filler(const std::string& seed_text, std::int64_t size, const std::string& head = {}) {
  std::uint64_t state = 1469598103934665603ULL;
  for (unsigned char c : seed_text) state = (state ^ c) * 1099511628211ULL;
  std::string out = head;
  out.reserve(static_cast<std::size_t>(size));
  while (static_cast<std::int64_t>(out.size()) < size) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    for (int i = 0; i < 8 && static_cast<std::int64_t>(out.size()) < size; ++i)
      out += static_cast<char>((state >> (8 * i)) & 0xff);
  }
  return out;
}

struct DemoFile {
  std::string path;
  std::string content;
};

std::vector<DemoFile> game_files() {
  return {
      {"gta_sa.exe",
       filler("gta_sa.exe", 64 * kKiB,
              std::string("MZ\nZelvo demo placeholder: not a real game executable.\n"))},
      {"models/gta3.img", filler("models/gta3.img", 2048 * kKiB)},
      {"models/player.img", filler("models/player.img", 512 * kKiB)},
      {"models/txd/interface/icons.txd", filler("models/txd/interface/icons.txd", 192 * kKiB)},
      {"audio/sfx/ui.bank", filler("audio/sfx/ui.bank", 768 * kKiB)},
      {"data/handling.cfg", kHandling},
      {"data/maps/zelvo/zelvo.ipl", kMapPlacement},
      {"zelvo/zelvo.asi", filler("zelvo/zelvo.asi", 256 * kKiB)},
      {"zelvo/net.dll", filler("zelvo/net.dll", 320 * kKiB)},
      {"cleo/settings.ini", kSettings},
  };
}

bool write_file(const fs::path& path, const std::string& content, std::string& error) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) {
    error = "cannot create folder " + path.parent_path().string() + ": " + ec.message();
    return false;
  }
  if (!write_file_atomically(path.string(), content)) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

bool write_node(const fs::path& launcher, std::string& error) {
  for (const auto& f : game_files())
    if (!write_file(launcher / "pc" / "files" / f.path, f.content, error)) return false;

  ManifestOptions manifest;
  manifest.game_dir = (launcher / "pc" / "files").string();
  manifest.protect = {"gta_sa.exe", "zelvo/**"};
  manifest.optional = {"cleo/*.ini"};
  std::string text;
  if (!build_manifest(manifest, {}, text, error) ||
      !write_file(launcher / "pc" / "files.json", text, error))
    return false;

  // The published build is the running version, so the demo offers no update
  // (accepting one would replace the launcher with this placeholder).
  const fs::path build = launcher / "builds" / "zelvo-launcher-0.47.bin";
  if (!write_file(build, filler("launcher build", 32 * kKiB), error)) return false;
  const fs::path update = launcher / "update.json";
  for (const char* tag : {"pc", "linux"}) {
    UpdateOptions options;
    options.tag = tag;
    options.version = "0.47";
    options.url = "/launcher/builds/zelvo-launcher-0.47.bin";
    options.file = build.string();
    if (std::string(tag) != "pc") options.into = update.string();
    if (!build_update(options, text, error) || !write_file(update, text, error)) return false;
  }

  return write_file(launcher / "ping.txt", "ok\n", error) &&
         write_file(launcher / "servers.json", kServers, error);
}

}  // namespace

const std::vector<std::string>& demo_tree_nodes() {
  static const std::vector<std::string> nodes = {"cdn-ru", "cdn-eu"};
  return nodes;
}

bool write_demo_tree(const std::string& root, std::string& error) {
  std::error_code ec;
  if (fs::exists(root, ec) && !fs::is_directory(root, ec)) {
    error = "not a folder: " + root;
    return false;
  }
  for (const auto& node : demo_tree_nodes())
    if (!write_node(fs::path(root) / node / "launcher", error)) return false;
  return true;
}

}  // namespace zelvo::launcher
