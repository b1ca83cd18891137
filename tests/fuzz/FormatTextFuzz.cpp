// The Format-dialect text formatter: the input is the format, over a fixed list of
// arguments of every kind. Any format gives a text or EConvertError; a plain format
// (text, "%%", "%d", "%s") gives what a simple reference formatter gives, and
// raises where the reference runs out of arguments or meets one of the wrong kind.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "logger/LogFormat.h"
#include "support/Exceptions.h"

namespace {

const LogArg kArgs[] = {"abc", 12345, "текст", -7, 'z', 4000000000u, std::string(), 0,
                        2.5,   static_cast<const void*>(kArgs), "%d%s"};
constexpr std::size_t kCount = sizeof kArgs / sizeof kArgs[0];

enum class Reference { kText, kRaises, kNotPlain };

Reference Plain(const std::string& format, std::string& out) {
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (++i == format.size()) return Reference::kNotPlain;
    const char type = format[i];
    if (type == '%') {
      out += '%';
      continue;
    }
    if (type != 'd' && type != 's') return Reference::kNotPlain;
    if (next == kCount) return Reference::kRaises;
    const LogArg& arg = kArgs[next++];
    if (type == 'd' && arg.kind() == LogArg::Kind::kInteger) out += std::to_string(arg.integer());
    else if (type == 'd' && arg.kind() == LogArg::Kind::kUnsigned) out += std::to_string(arg.unsignedValue());
    else if (type == 's' && (arg.kind() == LogArg::Kind::kText || arg.kind() == LogArg::Kind::kChar)) out += arg.text();
    else return Reference::kRaises;
  }
  return Reference::kText;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string format(reinterpret_cast<const char*>(data), size);
  std::string expected;
  const Reference reference = Plain(format, expected);
  try {
    std::string text = FormatText(format, kArgs, kCount);
    if (reference == Reference::kRaises || (reference == Reference::kText && text != expected))
      std::abort();
  } catch (const EConvertError&) {
    if (reference == Reference::kText) std::abort();
  }
  return 0;
}
