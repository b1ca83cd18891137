// Texts of the viewer's failures. On Windows the program's string table has them
// (progress/win32/ProgressStrings.rc); these are the same texts, compiled in.
#include "progress/ProgressViewer.h"

std::string CompiledProgressMessage(int id) {
  switch (id) {
    case kMsgClassNotRegistered:
      return "Класс окна визуализации \"ProgressViewerFormClass\" не зарегистрирован!";
    case kMsgLineNotFound:
      return "Строка с номером %d не найдена!";
    case kMsgParamCountMismatch:
      return "Количество параметров и соответствующих им значений не совпадают!";
    default:
      return std::string();
  }
}

#ifndef _WIN32

std::string LoadProgressMessage(int id) { return CompiledProgressMessage(id); }

// Without a window system there is no class to register: the terminal needs none.
bool RegisterViewerClass() { return true; }

#endif
