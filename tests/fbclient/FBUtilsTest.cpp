#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>

#include "tests/fbclient/TestFiles.h"
#include "fbclient/FBUtils.h"
#include "platform/ConsoleOutput.h"
#include "platform/DynamicLibrary.h"
#include "platform/Environment.h"
#include "platform/Process.h"
#include "support/Exceptions.h"

namespace {

using testfiles::TempDir;
using testfiles::WriteFile;

// Our stand-in library, built beside this test program.
std::string BuiltLibrary() { return platform::ExecutableDir() + FBUtils::LibraryFileName(); }

// Puts a copy of the library, with its settings file, into `dir`; returns its path.
std::string InstallLibrary(const TempDir& dir, const std::string& ini) {
  std::string path = dir.File(FBUtils::LibraryFileName());
  std::filesystem::copy_file(BuiltLibrary(), path);
  if (!ini.empty()) WriteFile(dir.File("fbUtils.ini"), ini);
  return path;
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value)
      : name_(std::move(name)), old_(platform::EnvironmentVariable(name_)) {
    platform::PutEnvironmentVariable(name_, value);
  }
  ~ScopedEnv() { platform::PutEnvironmentVariable(name_, old_); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

TEST(FBUtilsSearch, BesideTheExecutableThenTheSitePathThenTheBareName) {
  struct Case {
    std::set<std::string> files;
    std::string expected;
  };
  const std::string beside = "/app/libfbUtils.so";
  const std::string site = "/opt/QORD/libfbUtils.so";
  const Case cases[] = {
      {{beside, site}, beside},
      {{beside}, beside},
      {{site}, site},
      {{}, "libfbUtils.so"},
  };
  for (const Case& c : cases) {
    auto exists = [&](const std::string& path) { return c.files.count(path) != 0; };
    EXPECT_EQ(FBUtils::ChooseLibraryCandidate("/app/", site, "libfbUtils.so", exists),
              c.expected);
  }
}

TEST(FBUtilsSearch, SitePathAndNamePerPlatform) {
#ifdef _WIN32
  EXPECT_EQ(FBUtils::LibraryFileName(), "fbUtils.dll");
  EXPECT_EQ(FBUtils::SiteLibraryPath(), "C:\\QORD\\fbUtils.dll");
#else
  EXPECT_EQ(FBUtils::LibraryFileName(), "libfbUtils.so");
  {
    ScopedEnv root("QVN_QORD_ROOT", std::nullopt);
    EXPECT_EQ(FBUtils::SiteLibraryPath(), "/opt/QORD/libfbUtils.so");
  }
  ScopedEnv root("QVN_QORD_ROOT", "/tmp/site");
  EXPECT_EQ(FBUtils::SiteLibraryPath(), "/tmp/site/libfbUtils.so");
#endif
}

TEST(FBUtilsBinding, LibraryBesideTheExecutableIsPreferredOverTheSitePath) {
  TempDir exeDir, siteDir;
  std::string besidePath = InstallLibrary(exeDir, "[Firebird]\nPassword=beside\nPort=1111\n");
  std::string sitePath = InstallLibrary(siteDir, "[Firebird]\nPassword=site\nPort=2222\n");
  FBUtils::TFBUtilsBinding binding;
  ASSERT_TRUE(binding.Bind(exeDir.Dir(), sitePath, FBUtils::LibraryFileName(),
                           "QVNOptimizeDB.exe"))
      << binding.LoadError();
  EXPECT_EQ(binding.LoadedFrom(), besidePath);
  EXPECT_EQ(binding.GetFBPassword(), "beside");
  EXPECT_EQ(binding.GetFBPort(), 1111);
  EXPECT_EQ(binding.ApplicationName(), "QVNOptimizeDB.exe");
  ScopedEnv unload("FUTILSDLL_ISLOADED", "1");
  binding.Release();
}

TEST(FBUtilsBinding, SitePathServesWhenNothingStandsBesideTheExecutable) {
  TempDir exeDir, siteDir;
  std::string sitePath = InstallLibrary(siteDir, "[Firebird]\r\nPassword=site\r\nPort=2222\r\n");
  FBUtils::TFBUtilsBinding binding;
  ASSERT_TRUE(binding.Bind(exeDir.Dir(), sitePath, FBUtils::LibraryFileName(), "x"));
  EXPECT_EQ(binding.LoadedFrom(), sitePath);
  EXPECT_EQ(binding.GetFBPassword(), "site");
  EXPECT_EQ(binding.GetFBPort(), 2222);
  ScopedEnv unload("FUTILSDLL_ISLOADED", "1");
  binding.Release();
}

TEST(FBUtilsBinding, OnlyTheTwoLookupsOfTwentyOneEntriesArePresent) {
  TempDir exeDir;
  InstallLibrary(exeDir, "");
  FBUtils::TFBUtilsBinding binding;
  ASSERT_TRUE(binding.Bind(exeDir.Dir(), "", FBUtils::LibraryFileName(), "x"));
  EXPECT_EQ(binding.PresentEntryCount(), 2u);
  for (std::size_t i = 0; i < FBUtils::kEntryCount; ++i) {
    std::string name = FBUtils::kEntryNames[i];
    bool lookup = name == "GetFBPassword" || name == "GetFBPort";
    EXPECT_EQ(binding.Entry(i) != nullptr, lookup) << name;
  }
  EXPECT_EQ(binding.Entry(FBUtils::kEntryCount), nullptr);
  ScopedEnv unload("FUTILSDLL_ISLOADED", "1");
  binding.Release();
}

TEST(FBUtilsBinding, LookupsAskTheLibraryAnewEveryTime) {
  TempDir exeDir;
  InstallLibrary(exeDir, "[Other]\nPassword=no\n[firebird]\n password = first \nPort=4000\n");
  ScopedEnv password("ISC_PASSWORD", "from-env");
  FBUtils::TFBUtilsBinding binding;
  ASSERT_TRUE(binding.Bind(exeDir.Dir(), "", FBUtils::LibraryFileName(), "x"));
  EXPECT_EQ(binding.GetFBPassword(), "first");
  EXPECT_EQ(binding.GetFBPort(), 4000);

  WriteFile(exeDir.File("fbUtils.ini"), "[Firebird]\nPassword=second\nPort=4001\n");
  EXPECT_EQ(binding.GetFBPassword(), "second");
  EXPECT_EQ(binding.GetFBPort(), 4001);

  WriteFile(exeDir.File("fbUtils.ini"), "[Firebird]\nPort=not a number\n");
  EXPECT_EQ(binding.GetFBPassword(), "from-env");
  EXPECT_EQ(binding.GetFBPort(), 3050);

  std::filesystem::remove(exeDir.File("fbUtils.ini"));
  EXPECT_EQ(binding.GetFBPassword(), "from-env");
  EXPECT_EQ(binding.GetFBPort(), 3050);
  ScopedEnv unload("FUTILSDLL_ISLOADED", "1");
  binding.Release();
}

TEST(FBUtilsBinding, NoLibraryAnywhereIsReportedWithoutBinding) {
  TempDir exeDir;
  FBUtils::TFBUtilsBinding binding;
  EXPECT_FALSE(binding.Bind(exeDir.Dir(), exeDir.File("site") + "/" + FBUtils::LibraryFileName(),
                            "qvn-no-such-library-anywhere", "x"));
  EXPECT_FALSE(binding.IsLoaded());
  EXPECT_EQ(binding.LoadedFrom(), "qvn-no-such-library-anywhere");
  EXPECT_FALSE(binding.LoadError().empty());
  EXPECT_EQ(binding.PresentEntryCount(), 0u);
  EXPECT_THROW(binding.GetFBPassword(), Exception);
  EXPECT_THROW(binding.GetFBPort(), Exception);
}

bool refused = false;
void NoteRefusal() { refused = true; }

TEST(FBUtilsProcess, BindsTheLibraryBesideTheProgramUnderTheProgramsName) {
  refused = false;
  FBUtils::Bind(NoteRefusal);
  ASSERT_FALSE(refused);
  EXPECT_EQ(FBUtils::Binding().LoadedFrom(), BuiltLibrary());
  EXPECT_EQ(FBUtils::Binding().ApplicationName(),
            platform::ExtractFileName(platform::ExecutablePath()));
  if (!std::filesystem::exists(platform::ExecutableDir() + "fbUtils.ini")) {
    ScopedEnv password("ISC_PASSWORD", "from-env");
    EXPECT_EQ(FBUtils::GetFBPassword(), "from-env");
    EXPECT_EQ(FBUtils::GetFBPort(), 3050);
  }
  ScopedEnv unload("FUTILSDLL_ISLOADED", "1");
  FBUtils::Release();
  EXPECT_FALSE(FBUtils::Binding().IsLoaded());
  EXPECT_THROW(FBUtils::GetFBPort(), Exception);
}

TEST(FBUtilsBindingDeathTest, ConsoleRefusalSaysWhyAndEndsWithCodeZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Text for people, in the console's code page when stderr is not a console window.
  EXPECT_EXIT(FBUtils::RefuseStartOnConsole(), ::testing::ExitedWithCode(0),
              platform::ToCodePage("Модуль fbUtils.dll не загружен. В запуске приложения отказано!",
                                   platform::ConsoleCodePage()));
}

TEST(FBUtilsBinding, ReleaseUnloadsOnlyWhenTheFlagIsExactlyOne) {
  struct Case {
    const char* name;
    std::optional<std::string> flag;
    bool unloaded;
  };
  const Case cases[] = {
      {"1", "1", true},           {"1 and a blank", "1 ", false}, {"blank and 1", " 1", false},
      {"0", "0", false},          {"11", "11", false},            {"empty", "", false},
      {"unset", std::nullopt, false},
  };
  for (const Case& c : cases) {
    TempDir exeDir;
    std::string path = InstallLibrary(exeDir, "[Firebird]\nPassword=p\n");
    FBUtils::TFBUtilsBinding binding;
    ASSERT_TRUE(binding.Bind(exeDir.Dir(), "", FBUtils::LibraryFileName(), "x")) << c.name;
    ASSERT_TRUE(platform::DynamicLibrary::IsInProcess(path)) << c.name;
    {
      ScopedEnv flag("FUTILSDLL_ISLOADED", c.flag);
      binding.Release();
    }
    EXPECT_EQ(!platform::DynamicLibrary::IsInProcess(path), c.unloaded) << c.name;
    EXPECT_FALSE(binding.IsLoaded()) << c.name;
    EXPECT_EQ(binding.PresentEntryCount(), 0u) << c.name;
    EXPECT_THROW(binding.GetFBPassword(), Exception) << c.name;
  }
}

}  // namespace
