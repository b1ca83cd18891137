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

TEST(FileOps, ReplacePutsTheNewFileInPlaceInOneStep) {
  TempDir dir;
  std::string content = testfiles::PatternBytes(std::size_t{3} << 20);
  WriteFile(dir.File("base.new"), content);
  WriteFile(dir.File("base.fdb"), "old database");
#ifndef _WIN32
  ASSERT_EQ(::chmod(dir.File("base.new").c_str(), 0660), 0);
#endif
  ASSERT_TRUE(platform::FlushFileToDisk(dir.File("base.new")));
  ASSERT_EQ(platform::ReplaceFileAtomically(dir.File("base.new"), dir.File("base.fdb")),
            platform::ReplaceResult::kReplaced)
      << platform::SystemErrorText(platform::LastErrorCode());
  EXPECT_TRUE(ReadFile(dir.File("base.fdb")) == content);
  EXPECT_FALSE(platform::FileExists(dir.File("base.new")));
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(::stat(dir.File("base.fdb").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0660u) << "the new file keeps its own mode and owner";
#endif
  platform::SetLastErrorCode(0);
  EXPECT_EQ(platform::ReplaceFileAtomically(dir.File("base.new"), dir.File("base.fdb")),
            platform::ReplaceResult::kNotReplaced);
  EXPECT_EQ(platform::LastErrorCode(), platform::FileNotFoundCode());
  EXPECT_TRUE(ReadFile(dir.File("base.fdb")) == content);
}

#ifdef _WIN32
TEST(FileOps, ReplaceRefusesAWorkingFileHeldOpen) {
  TempDir dir;
  WriteFile(dir.File("base.new"), "new");
  WriteFile(dir.File("base.fdb"), "old");
  std::ifstream holder(dir.File("base.fdb"), std::ios::binary);
  ASSERT_TRUE(holder.is_open());
  EXPECT_EQ(platform::ReplaceFileAtomically(dir.File("base.new"), dir.File("base.fdb")),
            platform::ReplaceResult::kNotReplaced);
  holder.close();
  EXPECT_EQ(ReadFile(dir.File("base.fdb")), "old");
  EXPECT_EQ(ReadFile(dir.File("base.new")), "new");
}
#else
TEST(FileOps, HoldKeepsOthersFromTheFileUntilReleased) {
  TempDir dir;
  WriteFile(dir.File("base.fdb"), "x");
  {
    platform::FileHold hold(dir.File("base.fdb"));
    ASSERT_TRUE(hold.Held());
    EXPECT_FALSE(platform::IsFileFree(dir.File("base.fdb")));
    platform::FileHold second(dir.File("base.fdb"));
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(platform::LastErrorCode(), static_cast<platform::ErrorCode>(EBUSY));
  }
  EXPECT_TRUE(platform::IsFileFree(dir.File("base.fdb")));
}
#endif

TEST(FileOps, SameFileAndRealPathAsTheFileSystemSeesThem) {
  TempDir dir;
  WriteFile(dir.File("ZARVO.FDB"), "x");
  WriteFile(dir.File("other.fdb"), "x");
  EXPECT_TRUE(platform::SameFile(dir.File("ZARVO.FDB"), dir.File("ZARVO.FDB")));
  EXPECT_FALSE(platform::SameFile(dir.File("ZARVO.FDB"), dir.File("other.fdb")));
  EXPECT_FALSE(platform::SameFile(dir.File("ZARVO.FDB"), dir.File("missing.fdb")));
#ifdef _WIN32
  EXPECT_TRUE(platform::SameFile(dir.File("ZARVO.FDB"), dir.File("zarvo.fdb")));
  EXPECT_EQ(platform::ResolveFilePath(dir.File("ZARVO.FDB")), dir.File("ZARVO.FDB"));
#else
  EXPECT_FALSE(platform::SameFile(dir.File("ZARVO.FDB"), dir.File("zarvo.fdb")));
  std::filesystem::create_directory(dir.File("real"));
  WriteFile(dir.File("real/base.fdb"), "x");
  std::filesystem::create_symlink(dir.File("real/base.fdb"), dir.File("link.fdb"));
  EXPECT_TRUE(platform::SameFile(dir.File("link.fdb"), dir.File("real/base.fdb")));
  std::string real = std::filesystem::canonical(dir.File("real/base.fdb")).string();
  EXPECT_EQ(platform::ResolveFilePath(dir.File("link.fdb")), real);
  EXPECT_EQ(platform::ResolveFilePath(dir.File("real/../link.fdb")), real);
#endif
  EXPECT_EQ(platform::ResolveFilePath(dir.File("missing.fdb")), std::nullopt);
  EXPECT_GT(platform::FreeSpaceBeside(dir.File("ZARVO.FDB")).value_or(0), 0u);
}

// What the rebuild asks of a path before it names it to the server: one identity for
// every spelling of a folder, the kind of file, its names, whether it is on this computer.
TEST(FileOps, IdentityKindLinksAndPlaceOfAPath) {
  TempDir dir;
  WriteFile(dir.File("ZARVO.FDB"), "x");
  std::filesystem::create_directory(dir.File("sub"));
#ifdef _WIN32
  const std::string otherSpelling = dir.File("SUB\\..\\zarvo.fdb");
#else
  const std::string otherSpelling = dir.File("sub/../ZARVO.FDB");
#endif
  ASSERT_TRUE(platform::FileIdentity(dir.File("ZARVO.FDB")).has_value());
  EXPECT_EQ(platform::FileIdentity(otherSpelling), platform::FileIdentity(dir.File("ZARVO.FDB")));
  EXPECT_NE(platform::FileIdentity(dir.File("sub")), platform::FileIdentity(dir.File("ZARVO.FDB")));
  EXPECT_EQ(platform::FileIdentity(dir.File("missing")), std::nullopt);

  EXPECT_EQ(platform::KindOfFile(dir.File("ZARVO.FDB")), platform::FileKind::kRegular);
  EXPECT_EQ(platform::KindOfFile(dir.File("sub")), platform::FileKind::kDirectory);
  EXPECT_EQ(platform::KindOfFile(dir.File("missing")), platform::FileKind::kMissing);
  EXPECT_EQ(platform::HardLinkCount(dir.File("ZARVO.FDB")), 1u);
  std::filesystem::create_hard_link(dir.File("ZARVO.FDB"), dir.File("second.fdb"));
  EXPECT_EQ(platform::HardLinkCount(dir.File("ZARVO.FDB")), 2u);
  EXPECT_EQ(platform::WriteAccessProblem(dir.File("ZARVO.FDB")), 0u);

  struct Place {
    const char* path;
    bool network;
  };
  for (const Place& p : {Place{"\\\\server\\share\\ZARVO.FDB", true},
#ifdef _WIN32
                         Place{"//server/share/ZARVO.FDB", true},
                         Place{"\\\\?\\UNC\\server\\share\\ZARVO.FDB", true},
                         Place{"\\\\?\\C:\\QORD\\DB\\ZARVO.FDB", false},
                         Place{"C:/QORD/DB/ZARVO.FDB", false},
#endif
                         Place{"C:\\QORD\\DB\\ZARVO.FDB", false}}) {
    EXPECT_EQ(platform::IsNetworkPath(p.path), p.network) << p.path;
  }
}

}  // namespace
