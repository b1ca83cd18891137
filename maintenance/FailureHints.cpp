#include "maintenance/FailureHints.h"

#include <algorithm>
#include <initializer_list>

namespace {

struct Hint {
  // Any one of these in the message (ASCII letters in any case) calls for the line.
  std::initializer_list<const char*> fragments;
  const char* line;
};

// Checked in this order; the first match wins. The fragments are the server's and
// the client's own texts, the same in Firebird 3 and 4 (checked against Firebird 3:
// a wrong password, a closed port, a missing file, a full disk during the backup and
// during the restore, a shutdown and a replace refused while another program is
// attached). The system's part of a message comes in the server machine's language,
// so a disk-full text is also known in Russian.
const Hint kHints[] = {
    {{"Your user name and password are not defined", "Error occurred during login"},
     "Сервер Firebird не принял пароль пользователя SYSDBA из настроек ZARVO (модуль "
     "fbUtils.dll). Рабочая база данных не изменена. Обратитесь к технику: пароль в "
     "настройках не совпадает с паролем сервера."},
    {{"Unable to complete network request to host", "Failed to establish a connection",
      "Error reading data from the connection", "Error writing data to the connection",
      "Connection lost to database"},
     "Нет связи с сервером Firebird на этом компьютере: служба \"Firebird Server - "
     "ZARVOInstance\" не запущена или не отвечает. Рабочая база данных не изменена. Запустите "
     "эту службу и повторите оптимизацию; если служба запущена, обратитесь к технику."},
    {{"free disk space exhausted", "No space left on device",
      "There is not enough space on the disk", "The disk is full",
      "Недостаточно места на диске.", "Диск заполнен."},
     "На диске закончилось свободное место. Рабочая база данных не изменена. Освободите место "
     "на диске с базой данных, не удаляя файлы баз данных (*.FDB), и повторите оптимизацию."},
    {{"I/O error during \"open", "Error while trying to open file",
      "Error while trying to create file", "Can't open database file"},
     "Сервер Firebird не смог открыть файл базы данных по этому пути. Рабочая база данных не "
     "изменена. Выберите базу на локальном диске этого компьютера (не на подключённом сетевом "
     "диске) и повторите; если путь верен, обратитесь к технику."},
    {{"database shutdown unsuccessful", "is in use", "database might be in use",
      "lock time-out on wait transaction"},
     "С базой данных сейчас работает другая программа, или сервер ещё завершает работу, "
     "начатую прерванной оптимизацией. Рабочая база данных не изменена. Закройте программы "
     "ZARVO на всех компьютерах, которые работают с этой базой, подождите минуту и повторите "
     "оптимизацию."},
};

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Contains(const std::string& text, const char* fragment) {
  std::string wanted(fragment);
  auto equal = [](char a, char b) { return LowerAscii(a) == LowerAscii(b); };
  return std::search(text.begin(), text.end(), wanted.begin(), wanted.end(), equal) !=
         text.end();
}

}  // namespace

std::string OperatorHint(const std::string& failureMessage) {
  for (const Hint& hint : kHints) {
    for (const char* fragment : hint.fragments) {
      if (Contains(failureMessage, fragment)) return hint.line;
    }
  }
  return std::string();
}
