// The service output reader: any reply is either refused or gives a line made only of
// the reply's own bytes behind its three-byte head.
#include <cstdint>
#include <cstdlib>

#include "fbclient/ServiceParams.h"
#include "support/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    std::string line = fbclient::ParseLineReply(data, data + size);
    if (size < 3 || line.size() > size - 3) std::abort();
  } catch (const EIBClientError&) {
  }
  return 0;
}
