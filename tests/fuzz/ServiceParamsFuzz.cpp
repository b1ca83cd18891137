// The service parameter builder: a sequence of additions from the input. A value that
// does not fit its length field is refused and adds nothing; one that
// fits adds exactly its tag, length and bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fbclient/ServiceParams.h"
#include "support/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  fbclient::TSpbBuilder spb;
  int bigValues = 2;  // at most two per input: they cost far more than the rest
  while (in.remaining_bytes() > 0) {
    const int op = in.ConsumeIntegralInRange(0, 3);
    const auto tag = in.ConsumeIntegral<unsigned char>();
    // Values at the limits are a repeated byte (they are longer than the input).
    std::string value;
    if (bigValues > 0 && in.ConsumeBool()) {
      --bigValues;
      value.assign(in.PickValueInArray<std::size_t>({255, 256, 65535, 65536, 70000}),
                   static_cast<char>(in.ConsumeIntegral<unsigned char>()));
    } else {
      value = in.ConsumeRandomLengthString(300);
    }
    const std::size_t before = spb.Bytes().size();
    std::size_t head = 0, limit = 0;
    try {
      switch (op) {
        case 0: spb.AddTag(tag); break;
        case 1: head = 2, limit = 255, spb.AddShortString(tag, value); break;
        case 2: head = 3, limit = 65535, spb.AddString(tag, value); break;
        default: spb.AddNumber(tag, in.ConsumeIntegral<std::uint32_t>()); break;
      }
    } catch (const EIBClientError&) {
      if ((op != 1 && op != 2) || value.size() <= limit || spb.Bytes().size() != before) std::abort();
      continue;
    }
    const std::vector<unsigned char>& after = spb.Bytes();
    if (op == 1 || op == 2) {
      if (value.size() > limit || after.size() != before + head + value.size()) std::abort();
      const unsigned char* added = after.data() + before;
      std::size_t length = added[1] | (head == 3 ? added[2] << 8 : 0);
      if (added[0] != tag || length != value.size() ||
          std::string(added + head, added + head + length) != value)
        std::abort();
    }
    try {
      if (spb.Length() != after.size()) std::abort();
    } catch (const EIBClientError&) {
      if (after.size() <= 65535) std::abort();
      spb = fbclient::TSpbBuilder();  // start again below the limit
    }
  }
  return 0;
}
