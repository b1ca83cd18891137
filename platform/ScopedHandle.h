// One owner for every OS handle or descriptor: movable, never copyable, closed
// exactly once. Traits say what the invalid value is and how to close:
//
//   struct FdTraits {
//     using Handle = int;
//     static Handle Invalid() noexcept { return -1; }
//     static bool IsValid(Handle h) noexcept { return h >= 0; }
//     static void Close(Handle h) noexcept { ::close(h); }
//   };
//   using ScopedFd = ScopedHandle<FdTraits>;
#pragma once

#include <utility>

namespace platform {

template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() noexcept : handle_(Traits::Invalid()) {}
  explicit ScopedHandle(Handle handle) noexcept : handle_(handle) {}
  ~ScopedHandle() { Reset(); }

  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Handle Get() const noexcept { return handle_; }
  bool IsValid() const noexcept { return Traits::IsValid(handle_); }
  explicit operator bool() const noexcept { return IsValid(); }

  // Gives up ownership without closing.
  Handle Release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

  // Closes the held handle (if any) and takes the new one.
  void Reset(Handle handle = Traits::Invalid()) noexcept {
    Handle old = std::exchange(handle_, handle);
    if (Traits::IsValid(old)) Traits::Close(old);
  }

 private:
  Handle handle_;
};

}  // namespace platform
