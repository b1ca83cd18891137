// The console program's command line and its help text.
#pragma once

#include <string>
#include <vector>

struct TCommandLine {
  enum class Command { Optimize, Stat, Recover, Help, Version };
  Command command = Command::Help;
  bool json = false;
  std::string database;  // as given; empty for the default database
  std::vector<std::string> databases;  // recover: as given; none for the known ones
};

// Reads the arguments (without the program's name). A command line that is wrong
// raises Exception saying what is wrong, in the operator's words:
//   (none)                    -> "не указана команда"
//   rebuild                   -> "неизвестная команда \"rebuild\""
//   optimize --jsn            -> "неизвестный параметр \"--jsn\""
//   optimize a b              -> "лишний аргумент \"b\""
//   stat --json               -> "параметр --json есть только у команды optimize"
//   recover a b               -> recover, databases a and b
// --help (or -h) anywhere asks for the help, --version for the version.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// Whether the arguments ask for the JSON outcome, even when they are wrong otherwise.
bool AsksForJson(const std::vector<std::string>& args);

// The help: every line but those naming a site path fits 80 columns.
std::string UsageText();
// "qvnoptimize 12.0.0.1", from the same version record as the version resources.
std::string VersionText();
