// A file replaced in one step or not at all.

#include "image/replacement_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/run_failure.h"
#include "captured_console.h"
#include "temp_folder.h"

namespace zelmo::image {
namespace {

int StatusOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const RunFailure& ended) {
    return ended.status;
  }
  return -1;
}

TEST(ReplacementFile, ReplacesInOneStepOrLeavesTheFileAsItWas) {
  testing::TempFolder folder;
  const std::string path = folder.File("board.hex");
  std::ofstream(path) << "the old backup\n";
  testing::CapturedConsole console;
  {
    const ReplacementFile untouched(path, console.Get());  // a run that ends before Replace()
  }
  EXPECT_EQ(testing::FileContent(path), "the old backup\n");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"board.hex"});

  ReplacementFile file(path, console.Get());
  EXPECT_FALSE(file.Replace(":00000001FF\n"));
  EXPECT_EQ(testing::FileContent(path), ":00000001FF\n");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"board.hex"});
  struct stat made {};
  stat(path.c_str(), &made);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(made.st_mode & 0777U, 0666U & ~mask);
  EXPECT_EQ(console.Err(), "");
}

TEST(ReplacementFile, APathThatCannotBeWrittenFailsAtOnce) {
  testing::TempFolder folder;
  mkdir(folder.File("folder").c_str(), 0700);
  const struct {
    std::string path;
    std::string err;
  } cases[] = {
      {folder.File("missing/board.hex"),
       "Cannot write " + folder.File("missing/board.hex") + ": No such file or directory\n"},
      {folder.File("folder"), "Cannot write " + folder.File("folder") + ": Is a directory\n"},
  };
  for (const auto& c : cases) {
    testing::CapturedConsole console;
    EXPECT_EQ(StatusOf([&] { const ReplacementFile file(c.path, console.Get()); }), 1) << c.path;
    EXPECT_EQ(console.Err(), c.err);
  }
  rmdir(folder.File("folder").c_str());
  EXPECT_TRUE(folder.Names().empty());
}

}  // namespace
}  // namespace zelmo::image
