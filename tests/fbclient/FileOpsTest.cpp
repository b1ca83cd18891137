#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/fbclient/TestFiles.h"
#include "platform/FileOps.h"
#include "platform/SystemError.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using testfiles::ReadFile;
using testfiles::TempDir;
using testfiles::WriteFile;

TEST(FileOps, ExistsOnlyForFiles) {
  TempDir dir;
  WriteFile(dir.File("base.fdb"), "x");
  EXPECT_TRUE(platform::FileExists(dir.File("base.fdb")));
  EXPECT_FALSE(platform::FileExists(dir.File("missing.fdb")));
  EXPECT_FALSE(platform::FileExists(dir.Dir()));  // a directory is not a file
}

TEST(FileOps, RemoveLeavesTheSystemErrorCode) {
  TempDir dir;
  WriteFile(dir.File("a"), "x");
  EXPECT_TRUE(platform::RemoveFile(dir.File("a")));
  EXPECT_FALSE(platform::FileExists(dir.File("a")));

  platform::SetLastErrorCode(0);
  EXPECT_FALSE(platform::RemoveFile(dir.File("a")));
  EXPECT_EQ(platform::LastErrorCode(), platform::FileNotFoundCode());
}

TEST(FileOps, FreeUnlessHeldOrMissing) {
  TempDir dir;
  std::string path = dir.File("base.fdb");
  WriteFile(path, "data");
  EXPECT_TRUE(platform::IsFileFree(path));
  EXPECT_TRUE(platform::IsFileFree(path)) << "the test must not leave the file held";
  EXPECT_FALSE(platform::IsFileFree(dir.File("missing.fdb")));
  EXPECT_FALSE(platform::IsFileFree(dir.Dir()));
  {
#ifdef _WIN32
    // The runtime opens files shared for reading and writing, which an exclusive
    // open must not get past.
    std::ifstream holder(path, std::ios::binary);
    ASSERT_TRUE(holder.is_open());
#else
    // What a database server does to a database it has attached.
    int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
#endif
    EXPECT_FALSE(platform::IsFileFree(path));
#ifndef _WIN32
    ::close(fd);
#endif
  }
  EXPECT_TRUE(platform::IsFileFree(path));
  EXPECT_EQ(ReadFile(path), "data");
}

TEST(FileOps, CopyMakesAnIdenticalFile) {
  TempDir dir;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{9} << 20}) {
    std::string source = dir.File("src" + std::to_string(size));
    std::string target = dir.File("dst" + std::to_string(size));
    std::string content = testfiles::PatternBytes(size);
    WriteFile(source, content);
    ASSERT_TRUE(platform::CopyFileNoOverwrite(source, target))
        << platform::SystemErrorText(platform::LastErrorCode());
    EXPECT_TRUE(ReadFile(target) == content) << size << " bytes";
    EXPECT_TRUE(ReadFile(source) == content);
  }
}

TEST(FileOps, CopyNeverOverwrites) {
  TempDir dir;
  WriteFile(dir.File("new"), "rebuilt database");
  WriteFile(dir.File("work"), "someone else's file");
  EXPECT_FALSE(platform::CopyFileNoOverwrite(dir.File("new"), dir.File("work")));
  EXPECT_NE(platform::LastErrorCode(), 0u);
  EXPECT_EQ(ReadFile(dir.File("work")), "someone else's file") << "an existing file is not ours";
  EXPECT_EQ(ReadFile(dir.File("new")), "rebuilt database");
}

TEST(FileOps, CopyOfAMissingFileCreatesNothing) {
  TempDir dir;
  platform::SetLastErrorCode(0);
  EXPECT_FALSE(platform::CopyFileNoOverwrite(dir.File("missing"), dir.File("work")));
  EXPECT_EQ(platform::LastErrorCode(), platform::FileNotFoundCode());
  EXPECT_FALSE(platform::FileExists(dir.File("work")));
}

#ifndef _WIN32
TEST(FileOps, CopyKeepsThePermissions) {
  TempDir dir;
  WriteFile(dir.File("src"), "x");
  ASSERT_EQ(::chmod(dir.File("src").c_str(), 0640), 0);
  ASSERT_TRUE(platform::CopyFileNoOverwrite(dir.File("src"), dir.File("dst")));
  struct stat st;
  ASSERT_EQ(::stat(dir.File("dst").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}
#endif

// A copy that fails half-way leaves nothing at the target.
std::string faultTarget;
std::uint64_t faultSeenBytes = 0;
std::uint64_t faultSeenFileSize = 0;

bool FailAfterFirstPiece(std::uint64_t copied) {
  faultSeenBytes = copied;
  std::error_code ec;
  faultSeenFileSize = std::filesystem::file_size(faultTarget, ec);
  return true;
}

TEST(FileOps, FailedCopyRemovesThePartialFile) {
  TempDir dir;
  std::string content = testfiles::PatternBytes(std::size_t{24} << 20);
  WriteFile(dir.File("tmp"), content);
  faultTarget = dir.File("work");
  faultSeenBytes = 0;
  platform::SetCopyFaultHookForTesting(FailAfterFirstPiece);
  bool copied = platform::CopyFileNoOverwrite(dir.File("tmp"), faultTarget);
  platform::SetCopyFaultHookForTesting(nullptr);

  EXPECT_FALSE(copied);
  EXPECT_NE(platform::LastErrorCode(), 0u);
  EXPECT_GT(faultSeenBytes, 0u);
#ifndef _WIN32
  // (Windows reports the progress of a copy only where its copy routine does so.)
  EXPECT_LT(faultSeenBytes, content.size()) << "the fault must strike in the middle";
  EXPECT_EQ(faultSeenFileSize, faultSeenBytes) << "a partial file stood there mid-copy";
#endif
  EXPECT_FALSE(platform::FileExists(faultTarget));
  EXPECT_TRUE(ReadFile(dir.File("tmp")) == content) << "the source is untouched";
  // And the way is clear for a retry.
  EXPECT_TRUE(platform::CopyFileNoOverwrite(dir.File("tmp"), faultTarget));
  EXPECT_TRUE(ReadFile(faultTarget) == content);
}

}  // namespace
