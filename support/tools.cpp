#include "support/tools.h"

#include "platform/ConsoleProcess.h"

bool RunConsoleCommand(const std::string& commandLine, std::string& output) {
  platform::RunConsoleProcess(commandLine, output);
  return true;
}

std::unique_ptr<Exception> WrapException(const Exception& caught, const std::string& context,
                                         bool addClassName) {
  static const char kMarkOpen[] = " <# ";
  std::string message = context + " -> " + caught.Message();
  if (addClassName && message.find(kMarkOpen) == std::string::npos) {
    message += kMarkOpen;
    message += caught.ClassName();
    message += " #>";
  }
  return caught.CreateNew(std::move(message));
}
