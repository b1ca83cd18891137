// The statistics request: the server's statistics tool prints the database's header
// page; the command, the log's name and what the tool printed make one text that is
// logged and then shown.
#pragma once

#include <string>

inline const char kStatisticsCaption[] = "СТАТИСТИКА БАЗЫ ДАННЫХ";

// Checks the path and the tool, runs `<tool> "<path>" -h` hidden, logs the result
// text on the program logger at level 0 and returns it for showing. `readPath` is
// asked for the path twice, as the window reads its field for the check and again
// for the command. Raises on a refused path, a missing tool, or a tool that cannot
// be run; nothing is logged then.
std::string RequestStatistics(const std::string& databasePath);
