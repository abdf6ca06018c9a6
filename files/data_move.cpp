#include "app/helpers.hpp"
#include "app/log.hpp"
#include "core/launcher_core.hpp"
#include "core/status_report.hpp"
#include "platform/platform.hpp"

namespace zelvo::launcher {

bool LauncherCore::run_pending_move() {
  IPlatform& os = platform();
  DataMovePlan plan;
  if (!os.pending_data_move(plan)) return true;

  const std::string total_text = size_text(plan.byte_count);
  log_printf("play: moving %lld file(s), %s: %s -> %s", static_cast<long long>(plan.file_count),
             total_text.c_str(), plan.from_dir.c_str(), plan.to_dir.c_str());
  set_status(CorePhase::MovingFiles, "Перемещаем файлы игры...", 0.0f,
             "Ничего не скачивается заново — файлы переезжают в новую папку");

  std::string error;
  const int result = os.run_data_move(
      [this, &total_text](std::int64_t done, std::int64_t total, const std::string& file) {
        return report_move_progress(done, total, total_text, file);
      },
      error);

  if (result == 0) {
    log_printf("play: move finished, game dir is now %s", os.game_dir().c_str());
    return true;
  }
  if (result == 1) {
    log_printf("play: move cancelled, %s still holds part of the cache", plan.from_dir.c_str());
    set_status(CorePhase::Idle, "Отменено", 0.0f,
               "Перенос не завершён — он продолжится при следующем запуске");
    return false;
  }
  log_printf("play: move failed: %s", error.c_str());
  log_hints("play", kMoveHints);
  fail_with_detail(error, "Не удалось перенести файлы игры. Проверьте свободное место и разрешения.");
  return false;
}

}  // namespace zelvo::launcher
