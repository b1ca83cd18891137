// The stamp formatter and reader. Any pattern formats any value; any text is read or
// refused; a stamp written in the log's layout (with the separators the input picks)
// reads back as the same moment (four-digit years) to the millisecond.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "logger/LogFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  TFormatSettings settings;
  settings.DateSeparator = in.PickValueInArray({'.', '/', '-'});
  settings.TimeSeparator = in.PickValueInArray({':', '.', '-'});
  settings.ShortDateFormat = in.PickValueInArray({"dd/mm/yyyy", "mm/dd/yyyy", "yyyy/mm/dd", "d/m/yyyy"});
  const int year = in.ConsumeIntegralInRange(100, 9999), month = in.ConsumeIntegralInRange(1, 12),
            day = in.ConsumeIntegralInRange(1, 28), hour = in.ConsumeIntegralInRange(0, 23),
            minute = in.ConsumeIntegralInRange(0, 59), second = in.ConsumeIntegralInRange(0, 59),
            ms = in.ConsumeIntegralInRange(0, 999);
  const double anyValue = in.ConsumeFloatingPoint<double>();
  const std::string text = in.ConsumeRemainingBytesAsString();

  // The text as a pattern (on any value) and as a stamp.
  (void)FormatDateTime(text, anyValue, settings);
  TDateTime read = 0;
  (void)TryStrToDateTime(text, read, settings);

  const TDateTime moment = EncodeDateTime(year, month, day, hour, minute, second, ms);
  const std::string stamp = FormatDateTime(settings.ShortDateFormat + " hh:nn:ss.zzz", moment, settings);
  if (!TryStrToDateTime(stamp, read, settings) || std::fabs(read - moment) * 86400000.0 > 0.5)
    std::abort();
  return 0;
}
