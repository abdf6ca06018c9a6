#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "core/launcher_core.hpp"
#include "net/host_selection.hpp"
#include "platform/platform.hpp"
#include "ui/launcher_vm.hpp"

namespace zelvo::launcher {

namespace {

constexpr std::int64_t kSplashPeriodNs = 3'000'000'000;
constexpr int kLogsRefreshFrames = 60;

constexpr std::array<const char*, 15> kSplashPhrases = {
    "Заводим Сан-Андреас...",
    "Протираем пыль с текстур...",
    "Подключаем нитро...",
    "Чистим карбюратор...",
    "Расставляем фонари на Гроув-стрит...",
    "Синхронизируем небо и пальмы...",
    "Раздаём пушки по районам...",
    "Прогреваем радиостанции...",
    "Моем тачки перед выездом...",
    "Готовим лучший лаунчер...",
    "Ищем чизбургеры в Cluckin' Bell...",
    "Калибруем прицел...",
    "Договариваемся с копами...",
    "Заправляем самолёты в аэропорту...",
    "Почти готово, держись!",
};

constexpr std::array<const char*, 25> kMarkedEveryFrame = {
    "show_settings",    "show_logs",       "selected",   "have_servers",     "servers_loading",
    "no_servers",       "can_play",        "play_label", "host_label",       "host_ok",
    "host_bad",         "overlay_visible", "is_error",   "can_cancel",       "status_message",
    "status_detail",    "progress_width",  "splash",     "update_available", "update_version",
    "need_install_dir", "region_sel",      "font_sel",   "window_mode_sel",  "show_server_settings",
};

const char* splash_phrase(std::int64_t steady_ns) {
  const std::int64_t count = static_cast<std::int64_t>(kSplashPhrases.size());
  // A clock reading before its epoch still lands on a phrase.
  const std::int64_t slot = ((steady_ns / kSplashPeriodNs) % count + count) % count;
  return kSplashPhrases[static_cast<std::size_t>(slot)];
}

std::string percent_text(float progress) {
  const float percent = progress * 100.0f;
  // Converting a NaN or out-of-range float to an integer is undefined.
  const long long whole =
      std::isfinite(percent) ? static_cast<long long>(std::clamp(percent, -1e9f, 1e9f)) : 0;
  return std::to_string(whole) + "%";
}

}  // namespace

void sync_frame(LauncherVM& vm, std::int64_t steady_ns) {
  CoreStatus s;
  if (vm.core) {
    std::vector<ServerEntry> received;
    if (vm.core->take_servers(received)) {
      vm.entries = std::move(received);
      rebuild_server_rows(vm);
      vm.dirty("servers");
      vm.servers_settled = true;
    }
    s = vm.core->snapshot();
  }
  if (s.phase == CorePhase::Error) vm.servers_settled = true;

  const bool transfer = s.phase == CorePhase::Checking || s.phase == CorePhase::Downloading;
  const bool busy_overlay = s.busy && (transfer || s.phase == CorePhase::Finishing);
  vm.is_error = s.phase == CorePhase::Error && !vm.error_dismissed;
  if (busy_overlay || vm.is_error) {
    vm.overlay_visible = true;
    vm.can_cancel = busy_overlay && transfer;
  } else {
    vm.overlay_visible = false;
    vm.can_cancel = false;
  }
  vm.status_message = s.message;
  vm.status_detail = s.detail;
  vm.progress_width = percent_text(s.progress);
  vm.update_available = s.update_available;
  vm.update_version = s.update_version;
  if (busy_overlay) vm.splash = splash_phrase(steady_ns);

  if (!s.host.empty()) {
    const std::string region = region_of_url(s.host);
    vm.host_label = region.empty() ? "Подключено" : "Подключено (" + region + ")";
    vm.host_ok = true;
    vm.host_bad = false;
  } else if (s.phase == CorePhase::Error) {
    vm.host_label = "Не в сети";
    vm.host_ok = false;
    vm.host_bad = true;
  } else {
    vm.host_label = "Подключение...";
    vm.host_ok = false;
    vm.host_bad = false;
  }

  const ServerEntry* entry = selected_entry(vm);
  vm.can_play = !s.busy && entry && entry->enabled;

  if (vm.nick_missing && !vm.error_dismissed) {
    vm.overlay_visible = true;
    vm.is_error = true;
    vm.can_cancel = false;
    vm.status_message = "Введите ник";
    vm.status_detail = "Формат: Ник_Фамилия, например Pavel_Zorin";
  }

  vm.servers_loading = !vm.have_servers && !vm.servers_settled;
  vm.no_servers = !vm.have_servers && vm.servers_settled;

  if (vm.game_dir != vm.seen_game_dir) adopt_client_config(vm);

  // Typed edits reach launcher.json only: the game folder box passes through
  // half-typed paths, and no other program's folder gets a client_config.json.
  // The game folder's own file is written by the next handler that persists
  // (Play among them).
  if (vm.nickname != vm.settings.nickname || vm.game_dir != vm.settings.game_dir ||
      vm.restore_files != vm.settings.restore_files) {
    if (!vm.game_dir.empty() && vm.game_dir != vm.settings.game_dir && vm.platform) {
      vm.platform->set_game_dir(vm.game_dir);
    }
    save_launcher_settings(vm);
  }

  if (s.phase == CorePhase::Closing) vm.quit_requested = true;

  if (vm.show_logs) {
    if (vm.logs_refresh_counter == 0) rebuild_log_text(vm);
    // Kept below the period: only the position within it matters, and a
    // counter that grows for the whole run would overflow.
    vm.logs_refresh_counter = (vm.logs_refresh_counter + 1) % kLogsRefreshFrames;
  }

  if (vm.log_status_frames > 0) {
    --vm.log_status_frames;
    if (vm.log_status_frames == 0) {
      vm.log_status.clear();
      vm.dirty("log_status");
    }
  }

  for (const char* name : kMarkedEveryFrame) vm.dirty(name);
}

}  // namespace zelvo::launcher
