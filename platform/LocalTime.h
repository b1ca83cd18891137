// The wall-clock time of the machine's time zone, to the millisecond.
#pragma once

namespace platform {

struct LocalDateTime {
  int year, month, day;  // month and day from 1
  int hour, minute, second, millisecond;
};

LocalDateTime LocalNow() noexcept;

}  // namespace platform
