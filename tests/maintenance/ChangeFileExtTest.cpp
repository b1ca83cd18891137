#include <gtest/gtest.h>

#include "maintenance/FileNames.h"

namespace {

TEST(ChangeFileExt, ReplacesTheExtensionOfTheFileNameOnly) {
  struct Case {
    const char* path;
    const char* extension;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\QORD\\DB\\ZARVO.FDB", ".qvnbasebackup", "C:\\QORD\\DB\\ZARVO.qvnbasebackup"},
      {"D:\\data\\base.gdb", ".qvnbasebackup", "D:\\data\\base.qvnbasebackup"},
      {"/opt/QORD/DB/ZARVO.FDB", ".qvntempbase", "/opt/QORD/DB/ZARVO.qvntempbase"},
      {"/data/base", ".qvnbasebackup", "/data/base.qvnbasebackup"},
      {"/data/v1.2/base", ".qvnbasebackup", "/data/v1.2/base.qvnbasebackup"},
      {"/data/v1.2/base.fdb", ".qvntempbase", "/data/v1.2/base.qvntempbase"},
      {"/data/base.old.fdb", ".qvntempbase", "/data/base.old.qvntempbase"},
#ifdef _WIN32
      {"D:\\v1.2\\base", ".qvnbasebackup", "D:\\v1.2\\base.qvnbasebackup"},
      {"D:base", ".qvnbasebackup", "D:base.qvnbasebackup"},
#endif
  };
  for (const Case& c : cases) EXPECT_EQ(ChangeFileExt(c.path, c.extension), c.expected) << c.path;
}

}  // namespace
