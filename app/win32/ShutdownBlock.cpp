#include "app/win32/ShutdownBlock.h"

ShutdownBlock::Calls& ShutdownBlock::SystemCalls() {
  static Calls calls = [] {
    Calls found;
    if (HMODULE user32 = ::GetModuleHandleW(L"user32.dll")) {
      found.create = reinterpret_cast<decltype(found.create)>(
          reinterpret_cast<void*>(::GetProcAddress(user32, "ShutdownBlockReasonCreate")));
      found.destroy = reinterpret_cast<decltype(found.destroy)>(
          reinterpret_cast<void*>(::GetProcAddress(user32, "ShutdownBlockReasonDestroy")));
    }
    return found;
  }();
  return calls;
}

ShutdownBlock::ShutdownBlock(HWND window, const std::string& reason) : window_(window) {
  ::SetPropW(window_, kHeldProperty, reinterpret_cast<HANDLE>(1));
  const Calls& calls = SystemCalls();
  if (calls.create && calls.destroy)
    reasonRegistered_ = calls.create(window_, platform::Widen(reason).c_str()) != FALSE;
}

ShutdownBlock::~ShutdownBlock() {
  if (reasonRegistered_) SystemCalls().destroy(window_);
  ::RemovePropW(window_, kHeldProperty);
}

bool ShutdownBlock::IsHeld(HWND window) { return ::GetPropW(window, kHeldProperty) != nullptr; }
