#include <gtest/gtest.h>

#include <vector>

#include "platform/ScopedHandle.h"

namespace {

std::vector<int> closed;

struct CountingTraits {
  using Handle = int;
  static Handle Invalid() noexcept { return 0; }
  static bool IsValid(Handle h) noexcept { return h != 0; }
  static void Close(Handle h) noexcept { closed.push_back(h); }
};
using Scoped = platform::ScopedHandle<CountingTraits>;

TEST(ScopedHandle, ClosesExactlyOnceOnEveryPath) {
  closed.clear();
  {
    Scoped a(7);
    Scoped b(std::move(a));
    EXPECT_FALSE(a.IsValid());
    EXPECT_EQ(b.Get(), 7);
    Scoped c(9);
    c = std::move(b);  // 9 closed, 7 moves over
    EXPECT_EQ(closed, std::vector<int>{9});
    c = std::move(c);  // self-move keeps the handle
    EXPECT_EQ(c.Get(), 7);
    Scoped d(11);
    EXPECT_EQ(d.Release(), 11);  // released: never closed
    Scoped e(13);
    e.Reset();
    e.Reset(15);
  }
  EXPECT_EQ(closed, (std::vector<int>{9, 13, 15, 7}));
  static_assert(!std::is_copy_constructible_v<Scoped>);
  static_assert(!std::is_copy_assignable_v<Scoped>);
}

}  // namespace
