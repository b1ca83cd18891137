#include "platform/Encoding.h"

namespace platform {

// The console of a POSIX system speaks UTF-8 already.
std::string OemToUtf8(const std::string& bytes) { return bytes; }

}  // namespace platform
