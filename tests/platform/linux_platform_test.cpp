#include "platform/linux_platform.hpp"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/desktop_services.hpp"
#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {
namespace {

using test::path_exists;
using test::read_text_file;
using test::TempDir;
using test::write_text_file;

bool is_dir(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int64_t statvfs_free(const std::string& path) {
  struct statvfs vfs {};
  if (::statvfs(path.c_str(), &vfs) != 0) return -2;
  return static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize);
}

// Waits up to 5 s for a file written by a detached child.
std::string wait_for_file(const std::string& path) {
  for (int i = 0; i < 500 && !path_exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return read_text_file(path);
}

class RecordingDesktop : public IDesktopServices {
 public:
  std::string pick_folder(const std::string& title, const std::string& initial_folder) override {
    titles.push_back(title);
    initial_folders.push_back(initial_folder);
    return answer;
  }
  bool copy_text(const std::string& text) override {
    copied.push_back(text);
    return true;
  }
  bool show_file(const std::string& path) override {
    shown.push_back(path);
    return true;
  }

  std::string answer;
  std::vector<std::string> titles, initial_folders, copied, shown;
};

TEST(LinuxPlatformTest, FreeDiskSpaceOfAMissingFolderMeasuresItsNearestParent) {
  TempDir dir;
  LinuxPlatform platform("", dir.file("ZelvoLauncher"));
  // Free space moves a little while other programs write; both measures are
  // taken back to back.
  constexpr std::int64_t kSlack = 64 << 20;
  for (const std::string& path : {dir.path(), dir.file("not/yet/there"), dir.path() + "/"}) {
    SCOPED_TRACE(path);
    const std::int64_t free = platform.free_disk_space(path);
    EXPECT_GT(free, 0);
    EXPECT_NEAR(static_cast<double>(free), static_cast<double>(statvfs_free(dir.path())), kSlack);
  }
  EXPECT_EQ(platform.free_disk_space(""), -1);
}

TEST(LinuxPlatformTest, EnsureParentDirCreatesFoldersAndReportsWhenItCannot) {
  TempDir dir;
  write_text_file(dir.file("plain"), "x");
  LinuxPlatform platform("", dir.file("ZelvoLauncher"));

  EXPECT_TRUE(platform.ensure_parent_dir(dir.file("a/b/c.bin")));
  EXPECT_TRUE(is_dir(dir.file("a/b")));
  EXPECT_FALSE(path_exists(dir.file("a/b/c.bin")));
  EXPECT_TRUE(platform.ensure_parent_dir("bare-name.bin"));
  EXPECT_FALSE(platform.ensure_parent_dir(dir.file("plain/sub/c.bin")));
}

TEST(LinuxPlatformTest, PickFolderStartsAtTheNearestExistingFolder) {
  TempDir dir;
  ::mkdir(dir.file("Games").c_str(), 0755);
  LinuxPlatform platform("", dir.file("ZelvoLauncher"));
  EXPECT_EQ(platform.pick_folder(dir.file("Games")), "") << "no window services yet";

  RecordingDesktop desktop;
  platform.set_desktop_services(&desktop);
  desktop.answer = "D:\\Games\\Zelvo";
  EXPECT_EQ(platform.pick_folder(dir.file("Games/ZelvoOnline/z")), "D:/Games/Zelvo");
  desktop.answer = "";
  EXPECT_EQ(platform.pick_folder("/no/such/root/folder"), "");

  ASSERT_EQ(desktop.initial_folders.size(), 2u);
  EXPECT_EQ(desktop.titles[0], "Куда установить Zelvo Online?");
  EXPECT_EQ(desktop.initial_folders[0], dir.file("Games"));
  EXPECT_EQ(desktop.initial_folders[1], "/");
}

TEST(LinuxPlatformTest, ClipboardAndLogGoThroughTheWindowServices) {
  LinuxPlatform platform("", "/opt/zelvo/ZelvoLauncher");
  EXPECT_FALSE(platform.copy_to_clipboard("text"));
  EXPECT_FALSE(platform.open_log_location("text"));

  RecordingDesktop desktop;
  platform.set_desktop_services(&desktop);
  EXPECT_TRUE(platform.copy_to_clipboard("строка лога"));
  EXPECT_TRUE(platform.open_log_location("whatever the view shows"));
  EXPECT_EQ(desktop.copied, std::vector<std::string>{"строка лога"});
  EXPECT_EQ(desktop.shown, std::vector<std::string>{"/opt/zelvo/launcher.log"});
}

TEST(LinuxPlatformTest, GameDirMayChangeWhileAnotherThreadReadsIt) {
  LinuxPlatform platform("/games/a", "/opt/zelvo/ZelvoLauncher");
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) platform.set_game_dir(i % 2 ? "/games/a" : "/games/bbbbbbbbbbbbbbbbbbbbbbbb");
  });
  for (int i = 0; i < 2000; ++i) {
    const std::string dir = platform.game_dir();
    ASSERT_TRUE(dir == "/games/a" || dir == "/games/bbbbbbbbbbbbbbbbbbbbbbbb") << dir;
  }
  writer.join();
}

// The launcher executable and its update are shell scripts that record how
// they were started.
class ExecutableSwapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = dir_.file("ZelvoLauncher");
    write_text_file(exe_, script("old"));
    ::chmod(exe_.c_str(), 0755);
  }

  std::string script(const std::string& name) const {
    return "#!/bin/sh\necho \"" + name + " $*\" > '" + dir_.file("started.tmp") + "'\npwd >> '" +
           dir_.file("started.tmp") + "'\nmv '" + dir_.file("started.tmp") + "' '" +
           dir_.file("started") + "'\n";
  }

  TempDir dir_;
  std::string exe_;
};

TEST_F(ExecutableSwapTest, SwapsInTheUpdateAndStartsItWithUpdated) {
  LinuxPlatform platform("", exe_);
  ASSERT_EQ(platform.update_file_path(), exe_ + ".update");
  write_text_file(platform.update_file_path(), script("new"));  // downloaded: not executable

  ASSERT_TRUE(platform.apply_update(platform.update_file_path()));
  EXPECT_EQ(wait_for_file(dir_.file("started")), "new --updated\n" + dir_.path() + "\n");
  EXPECT_EQ(read_text_file(exe_), script("new"));
  EXPECT_EQ(read_text_file(exe_ + ".old"), script("old"));
  EXPECT_FALSE(path_exists(platform.update_file_path()));
  struct stat st {};
  ASSERT_EQ(::stat(exe_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST_F(ExecutableSwapTest, MissingUpdateLeavesTheLauncherInPlace) {
  LinuxPlatform platform("", exe_);
  write_text_file(exe_ + ".old", "from an earlier update");
  ::mkdir(dir_.file("folder.update").c_str(), 0755);

  for (const std::string& update : {platform.update_file_path(), dir_.file("folder.update")}) {
    SCOPED_TRACE(update);
    EXPECT_FALSE(platform.apply_update(update));
    EXPECT_EQ(read_text_file(exe_), script("old"));
  }
  EXPECT_FALSE(path_exists(dir_.file("started")));
}

TEST_F(ExecutableSwapTest, UpdateOnAnotherFileSystemIsCopiedIntoPlace) {
  struct stat here {};
  struct stat shm {};
  if (::stat(dir_.path().c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 ||
      here.st_dev == shm.st_dev) {
    GTEST_SKIP() << "needs /dev/shm on another file system than the temporary folder";
  }
  const std::string update = "/dev/shm/zelvo-update-" + std::to_string(::getpid());
  write_text_file(update, script("copied"));
  LinuxPlatform platform("", exe_);

  ASSERT_TRUE(platform.apply_update(update));
  EXPECT_EQ(wait_for_file(dir_.file("started")), "copied --updated\n" + dir_.path() + "\n");
  EXPECT_FALSE(path_exists(update));
  ::unlink(update.c_str());
}

}  // namespace
}  // namespace zelvo::launcher
