#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "app/helpers.hpp"
#include "app/log.hpp"
#include "core/launcher_core.hpp"
#include "core/status_report.hpp"
#include "files/file_digest.hpp"
#include "files/manifest.hpp"
#include "files/verify_cache.hpp"
#include "net/http_client.hpp"
#include "platform/platform.hpp"

namespace zelvo::launcher {

namespace {

constexpr int kManifestTimeoutSeconds = 15;
constexpr std::int64_t kDiskHeadroom = 536870912;
constexpr const char* kCancelled = "Отменено";

bool content_unchecked(const std::string& md5) { return md5.empty() || md5 == "NONE"; }

// Manifest sizes are untrusted; a sum must not overflow.
std::int64_t saturating_add(std::int64_t a, std::int64_t b) {
  return b > std::numeric_limits<std::int64_t>::max() - a ? std::numeric_limits<std::int64_t>::max()
                                                          : a + b;
}

bool is_drive_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A path from the CDN that would reach outside the game folder.
bool is_unsafe_path(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return true;
  if (path.front() == '/' || path.front() == '\\') return true;
  if (path.size() >= 2 && path[1] == ':' && is_drive_letter(path[0])) return true;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find_first_of("/\\", start);
    const std::size_t length = (end == std::string::npos ? path.size() : end) - start;
    if (length == 2 && path.compare(start, 2, "..") == 0) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

struct DownloadPlan {
  std::vector<ManifestEntry> files;
  std::int64_t planned_bytes = 0;

  void add(const ManifestEntry& entry) {
    files.push_back(entry);
    if (entry.size > 0) planned_bytes = saturating_add(planned_bytes, entry.size);
  }
};

// What one Play run works with after the manifest has been fetched.
class PlayRun {
 public:
  PlayRun(LauncherCore& core, std::string game_dir, bool restore)
      : core_(core),
        os_(core.platform()),
        game_dir_(std::move(game_dir)),
        restore_(restore),
        cache_path_(join_path(game_dir_, "z/verify_cache.bin")) {}

  // False when the run ended (status written).
  bool verify_and_download(const std::string& manifest_text, const std::string& default_base);

 private:
  bool check(const std::vector<ManifestEntry>& entries, VerifyCache& cache, DownloadPlan& plan);
  bool enough_disk_space(std::int64_t planned_bytes);
  bool download(const ManifestEntry& entry, std::size_t index, std::size_t count,
                TransferCounters& counters, VerifyCache& cache);
  void cancelled() { core_.set_status(CorePhase::Idle, kCancelled, 0.0f, ""); }

  LauncherCore& core_;
  IPlatform& os_;
  const std::string game_dir_;
  const bool restore_;
  const std::string cache_path_;
  std::string base_;
};

bool PlayRun::verify_and_download(const std::string& manifest_text,
                                  const std::string& default_base) {
  FileManifest manifest = FileManifest::parse(manifest_text);
  base_ = manifest.base_url.empty() ? default_base : manifest.base_url;
  log_printf("play: manifest %zu file(s), base_url=%s", manifest.files.size(), base_.c_str());

  // Unsafe entries are dropped before the check, so they are never read,
  // cached, downloaded or counted in the check progress.
  std::vector<ManifestEntry> entries;
  entries.reserve(manifest.files.size());
  for (ManifestEntry& entry : manifest.files) {
    if (is_unsafe_path(entry.path)) {
      log_printf("play: skip unsafe path %s", entry.path.c_str());
      continue;
    }
    entries.push_back(std::move(entry));
  }

  VerifyCache cache(cache_path_);
  DownloadPlan plan;
  if (!check(entries, cache, plan)) return false;

  cache.prune_unseen();
  os_.ensure_parent_dir(cache_path_);
  cache.save();
  log_printf("play: %zu file(s) need download, %lld byte(s) total", plan.files.size(),
             static_cast<long long>(plan.planned_bytes));

  if (plan.planned_bytes > 0 && !enough_disk_space(plan.planned_bytes)) return false;

  TransferCounters counters;
  counters.planned = plan.planned_bytes;
  counters.speed.start(std::chrono::steady_clock::now());
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    if (!download(plan.files[i], i, plan.files.size(), counters, cache)) return false;
  }
  if (!plan.files.empty()) cache.save();
  log_printf("play: download phase complete");
  return true;
}

bool PlayRun::check(const std::vector<ManifestEntry>& entries, VerifyCache& cache,
                    DownloadPlan& plan) {
  const std::size_t n = entries.size();
  for (std::size_t i = 0; i < n; ++i) {
    const ManifestEntry& entry = entries[i];
    if (core_.is_cancelled()) {
      log_printf("play: cancelled during file check");
      cancelled();
      return false;
    }
    core_.set_status(CorePhase::Checking, "Проверяем файлы...",
                     static_cast<float>(i) / static_cast<float>(n), entry.path);
    const std::string local = join_path(game_dir_, entry.path);
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    if (!file_stat(local, size, mtime)) {
      plan.add(entry);
      continue;
    }
    if (content_unchecked(entry.md5)) continue;
    if (cache.digest_for(entry.path, local, size, mtime) == entry.md5) continue;
    if (entry.is_protected || restore_) {
      plan.add(entry);
    } else {
      log_printf("play: skip modified file %s (md5 differs, restore off)", entry.path.c_str());
    }
  }
  return true;
}

bool PlayRun::enough_disk_space(std::int64_t planned_bytes) {
  const std::int64_t free = os_.free_disk_space(game_dir_);
  if (free < 0) {
    log_printf("play: disk space unknown for %s, skipping pre-check", game_dir_.c_str());
    return true;
  }
  log_printf("play: disk space check: need %lld byte(s) (+headroom), free %lld byte(s)",
             static_cast<long long>(planned_bytes), static_cast<long long>(free));
  const std::int64_t needed = saturating_add(planned_bytes, kDiskHeadroom);
  if (needed <= free) return true;

  const std::string needed_text = size_text(needed);
  const std::string free_text = size_text(free);
  log_printf("play: not enough disk space at %s: need ~%s, free %s", game_dir_.c_str(),
             needed_text.c_str(), free_text.c_str());
  log_hints("play", kDiskHints);
  core_.fail("Недостаточно места на диске. Нужно ~" + needed_text + ", свободно " + free_text +
             ". Освободите место или выберите другой диск в настройках.");
  return false;
}

// The file is fetched beside its target and renamed into place only once it
// is complete and its digest matched, so a failed, cancelled or damaged
// transfer never replaces the file that was there before.
bool PlayRun::download(const ManifestEntry& entry, std::size_t index, std::size_t count,
                       TransferCounters& counters, VerifyCache& cache) {
  if (core_.is_cancelled()) {
    log_printf("play: cancelled before download");
    cancelled();
    return false;
  }
  const std::string local = join_path(game_dir_, entry.path);
  const std::string url = join_url(base_, entry.path);
  const std::string part = local + ".part";
  if (!os_.ensure_parent_dir(local)) {
    log_printf("play: cannot prepare directory for %s", local.c_str());
    core_.fail("Не удалось подготовить каталог для: " + entry.path +
               " (возможно, папка залита через adb — перезапустите лаунчер)");
    return false;
  }

  counters.file_fraction = static_cast<float>(index) / static_cast<float>(count);
  const float progress =
      counters.planned > 0
          ? static_cast<float>(static_cast<double>(counters.completed) /
                               static_cast<double>(counters.planned))
          : counters.file_fraction;
  core_.set_status(CorePhase::Downloading, "Загружаем файлы...", progress,
                   format_transfer_detail(counters.completed, progress, counters.planned,
                                          counters.speed.bytes_per_second));
  log_printf("play: download %s -> %s", url.c_str(), local.c_str());

  IHttpClient& client = core_.client();
  const bool ok = client.download(url, part, [this, &counters](std::int64_t received, std::int64_t) {
    return core_.report_download_progress(counters, received);
  });
  if (!ok) {
    os_.remove_file(part);
    if (core_.is_cancelled()) {
      log_printf("play: cancelled during download of %s", entry.path.c_str());
      cancelled();
      return false;
    }
    log_download_failure("play", &client, url, local);
    core_.fail("Не удалось скачать: " + entry.path);
    return false;
  }

  const std::string digest = md5_file(part);
  if (!content_unchecked(entry.md5) && digest != entry.md5) {
    log_md5_mismatch("play", local, entry.md5, digest);
    os_.remove_file(part);
    core_.fail("Скачанный файл повреждён: " + entry.path);
    return false;
  }
  if (std::rename(part.c_str(), local.c_str()) != 0) {
    const int error = errno;
    os_.remove_file(part);
    log_printf("play: cannot replace %s: %s", local.c_str(), errno_text(error).c_str());
    core_.fail("Не удалось скачать: " + entry.path);
    return false;
  }
  os_.after_download(local);
  cache.record_download(entry.path, local, digest);
  if (entry.size > 0) counters.completed = saturating_add(counters.completed, entry.size);
  return true;
}

}  // namespace

void LauncherCore::run_play(const std::string& nickname, const ServerEntry& server,
                            bool restore_files) {
  if (is_cancelled()) {
    set_status(CorePhase::Idle, kCancelled, 0.0f, "");
    return;
  }
  if (!run_pending_move()) return;
  if (!ensure_host()) return;

  IPlatform& os = platform();
  const std::string tag = os.platform_name();
  const std::string game_dir = os.game_dir();
  const std::string host = current_host();
  log_printf("play: host=%s tag=%s game_dir=%s restore=%d", host.c_str(), tag.c_str(),
             game_dir.c_str(), restore_files ? 1 : 0);
  set_status(CorePhase::Checking, "Проверяем файлы игры...", 0.0f, "");

  const std::string manifest_url = add_time_query(join_url(host, "/launcher/" + tag + "/files.json"));
  log_printf("play: GET manifest %s", manifest_url.c_str());
  std::string body;
  if (client().get(manifest_url, body, kManifestTimeoutSeconds)) {
    PlayRun run(*this, game_dir, restore_files);
    if (!run.verify_and_download(body, join_url(host, "/launcher/" + tag + "/files"))) return;
  } else {
    log_printf("play: manifest unavailable, skipping verification");
    set_status(CorePhase::Checking, "Манифест обновления недоступен, пропускаем проверку.", 1.0f,
               "");
  }

  set_status(CorePhase::Finishing, "Запускаем игру...", 1.0f, "");
  log_printf("play: launching game");
  std::string reason;
  if (os.launch_game(nickname, server, &reason)) {
    log_printf("play: game launched");
    set_status(CorePhase::Closing, "Приятной игры!", 1.0f, "");
    return;
  }
  if (!reason.empty()) log_printf("launch fail: reason: %s", reason.c_str());
  log_printf("launch fail: game_dir=%s", game_dir.c_str());
  log_hints("launch fail", kLaunchHints);
  fail_with_detail(reason, "Не удалось запустить игру.");
}

}  // namespace zelvo::launcher
