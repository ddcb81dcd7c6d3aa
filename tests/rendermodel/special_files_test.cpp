// Model files that are not regular files: the check runs on the host's thread, so it must refuse them
// at once instead of waiting on a FIFO or reading a device without end.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "rendermodel/render_model_check.h"
#include "test_files.h"

namespace vantrels {
namespace {

using testing::TempDir;

struct Stage {
  const char *file;
  const char *reason;
};
const Stage kStages[] = {
    {"vantrel.obj", "no se puede abrir vantrel.obj"},
    {"vantrel.mtl", "falta vantrel.mtl"},
    {"vantrel.png", "falta la textura vantrel.png"},
};

// Runs the check on another thread. Should it still be running after a few seconds, the FIFO gets a
// writer and loses it again, which releases a blocked open or read, and the test fails instead of hanging.
std::string CheckWithDeadline(const std::string &root, const std::filesystem::path &fifo) {
  std::packaged_task<std::string()> task([root] { return CheckRenderModel(root); });
  std::future<std::string> result = task.get_future();
  std::thread worker(std::move(task));
  if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ADD_FAILURE() << "the check blocked on " << fifo;
    while (result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
    }
  }
  worker.join();
  return result.get();
}

TEST(ModelSpecialFiles, FifoIsRefusedWithoutBlocking) {
  for (const Stage &stage : kStages) {
    TempDir dir;
    const std::filesystem::path model = testing::WriteValidModel(dir.path());
    const std::filesystem::path fifo = model / stage.file;
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(CheckWithDeadline(dir.path().string(), fifo), stage.reason);
  }
}

TEST(ModelSpecialFiles, FolderIsRefused) {
  for (const Stage &stage : kStages) {
    TempDir dir;
    const std::filesystem::path model = testing::WriteValidModel(dir.path());
    std::filesystem::remove(model / stage.file);
    std::filesystem::create_directory(model / stage.file);
    EXPECT_EQ(CheckRenderModel(dir.path().string()), stage.reason);
  }
}

TEST(ModelSpecialFiles, DeviceIsRefusedAndLinksToFilesAreFollowed) {
  ASSERT_TRUE(std::filesystem::exists("/dev/zero"));
  for (const Stage &stage : kStages) {
    TempDir dir;
    const std::filesystem::path model = testing::WriteValidModel(dir.path());
    std::filesystem::rename(model / stage.file, dir.path() / stage.file);
    std::filesystem::create_symlink(dir.path() / stage.file, model / stage.file);
    EXPECT_EQ(CheckRenderModel(dir.path().string()), "") << stage.file;
    std::filesystem::remove(model / stage.file);
    // An endless stream of zero bytes with no line end: neither read forever nor buffered whole.
    std::filesystem::create_symlink("/dev/zero", model / stage.file);
    EXPECT_EQ(CheckRenderModel(dir.path().string()), stage.reason);
  }
}

}  // namespace
}  // namespace vantrels
