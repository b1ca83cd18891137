// A site for the console program's end-to-end tests: the program and the utility
// library (with the private server's settings) in bin/, the site tree in QORD/ with
// the database in DB/, a run of the program with stdout and stderr apart, the log.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "tests/fbclient/FbTestServer.h"
#include "tests/fbclient/TestFiles.h"

namespace clitest {

using testfiles::ReadFile;
using testfiles::WriteFile;

namespace fs = std::filesystem;

inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Whether `text` has a line that begins with `head` (stage lines come before the
// failure's message on stderr).
inline bool StartsALine(const std::string& text, const std::string& head) {
  return text.rfind(head, 0) == 0 || text.find("\n" + head) != std::string::npos;
}

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// A site for one test: the program and the utility library (with the server's
// settings) in bin/, the site tree in QORD/ with the database in DB/.
class Site : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = fbtest::Server();
    ASSERT_GT(server_.port, 0) << "private server settings missing";
    fs::create_directories(dir_.File("bin"));
    fs::create_directories(dir_.File("QORD/DB"));
    for (const char* name : {"qvnoptimize", "libfbUtils.so"}) {
      fs::copy_file(platform::ExecutableDir() + name, dir_.File(std::string("bin/") + name));
    }
    WriteIni(server_.password, server_.port);
    database_ = dir_.File("QORD/DB/ZARVO.FDB");
  }

  void WriteIni(const std::string& password, int port) {
    WriteFile(dir_.File("bin/fbUtils.ini"),
              "[Firebird]\nPassword=" + password + "\nPort=" + std::to_string(port) + "\n");
  }

public:
  // Runs the program of this site with its site root; stdout and stderr apart.
  RunResult Run(const std::string& arguments, const std::string& environment = "") {
    RunResult result;
    std::string command = "QVN_QORD_ROOT='" + dir_.File("QORD") + "' " + environment + " '" +
                          dir_.File("bin/qvnoptimize") + "' " + arguments + " >'" +
                          dir_.File("out.txt") + "' 2>'" + dir_.File("err.txt") + "'";
    int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFile(dir_.File("out.txt"));
    result.err = ReadFile(dir_.File("err.txt"));
    return result;
  }

protected:
  // The log's lines, back in UTF-8, without their CR LF.
  std::vector<std::string> LogLines() const {
    std::string text = platform::Cp1251ToUtf8(ReadFile(dir_.File("QORD/LogFiles/QVNOptimizeDB.log")));
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return lines;
  }

  // The log's lines without their 23-character time stamps and the blank after them.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const std::string& line : LogLines()) {
      texts.push_back(line.size() > 24 && line[2] == '.' && line[13] == ':' ? line.substr(24)
                                                                             : line);
    }
    return texts;
  }

  bool Leftovers() const {
    return platform::FileExists(dir_.File("QORD/DB/ZARVO.qvnbasebackup")) ||
           platform::FileExists(dir_.File("QORD/DB/ZARVO.qvntempbase"));
  }

  testfiles::TempDir dir_;
  fbtest::ServerSettings server_;
  std::string database_;
};

}  // namespace clitest
