#include "support/Exceptions.h"

#include "platform/SystemError.h"

EOSError MakeOSError(std::uint32_t code) {
  return EOSError("System Error.  Code: " + std::to_string(code) + ".\r\n" +
                      platform::SystemErrorText(code),
                  code);
}

void RaiseOSError(std::uint32_t code) { throw MakeOSError(code); }

void RaiseLastOSError() { RaiseOSError(platform::LastErrorCode()); }
