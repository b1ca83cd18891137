#include "cli/CommandLine.h"

#include "maintenance/SiteFiles.h"
#include "qvn_version.h"
#include "support/Exceptions.h"

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine result;
  std::vector<std::string> operands;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h" || arg == "/?") return TCommandLine{};
    if (arg == "--version") {
      result.command = TCommandLine::Command::Version;
      return result;
    }
    if (arg == "--json") {
      result.json = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw Exception("неизвестный параметр \"" + arg + "\"");
    } else {
      operands.push_back(arg);
    }
  }
  if (operands.empty()) throw Exception("не указана команда");
  if (operands[0] == "optimize") {
    result.command = TCommandLine::Command::Optimize;
  } else if (operands[0] == "stat") {
    result.command = TCommandLine::Command::Stat;
    if (result.json) throw Exception("параметр --json есть только у команды optimize");
  } else if (operands[0] == "recover") {
    result.command = TCommandLine::Command::Recover;
    if (result.json) throw Exception("параметр --json есть только у команды optimize");
    result.databases.assign(operands.begin() + 1, operands.end());
    return result;
  } else {
    throw Exception("неизвестная команда \"" + operands[0] + "\"");
  }
  if (operands.size() > 2) throw Exception("лишний аргумент \"" + operands[2] + "\"");
  if (operands.size() == 2) result.database = operands[1];
  return result;
}

bool AsksForJson(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (arg == "--json") return true;
  return false;
}

std::string UsageText() {
  return "Использование:\n"
         "  qvnoptimize optimize [--json] [БАЗА]   перестроить базу данных\n"
         "  qvnoptimize stat [БАЗА]                показать заголовок базы данных\n"
         "  qvnoptimize recover [БАЗА...]          вернуть в работу базы, закрытые\n"
         "                                         прерванной оптимизацией\n"
         "  qvnoptimize --version                  версия программы\n"
         "  --json   итог одним объектом JSON на stdout (outcome, reason, message,\n"
         "           размеры, время); ход работы - строками JSON на stderr (stage, done,\n"
         "           total)\n"
         "Код выхода: 0 - успех (recover: ни одна база не осталась закрытой нами);\n"
         "            1 - ошибка (её текст на stderr и в журнале);\n"
         "            2 - ошибка в командной строке; 3 - отказ, ничего не изменено\n"
         "            (база занята, прерванный запуск отменён, путь или файл не\n"
         "            подходят): можно повторить позже\n"
         "База по умолчанию: " + site::DefaultDatabasePath() + "\n"
         "Журнал: " + site::LogFilePath() + "\n";
}

std::string VersionText() { return std::string("qvnoptimize ") + QVN_VERSION_TEXT; }
