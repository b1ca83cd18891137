// The main window made inside the test process: what a failed start-up leaves
// behind, and the hold on log-off and shut-down around a rebuild.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/UMainModel.h"
#include "app/win32/ShutdownBlock.h"
#include "app/win32/UMain.h"

namespace {

BOOL CALLBACK CollectForm(HWND window, LPARAM found) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  if (std::wstring(name) == L"TForm1") reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

// This thread's main windows, shown or not.
std::vector<HWND> ThreadForms() {
  std::vector<HWND> found;
  ::EnumThreadWindows(::GetCurrentThreadId(), &CollectForm, reinterpret_cast<LPARAM>(&found));
  return found;
}

// The system refuses to create the path field, as it may when out of resources.
LRESULT CALLBACK RefuseEditFields(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    wchar_t name[64] = {};
    ::GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
    if (lstrcmpiW(name, L"Edit") == 0) return 1;
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class MainWindowForm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TForm1::RegisterWindowClass(::GetModuleHandleW(nullptr)); }
};

TEST_F(MainWindowForm, AFailedStartUpLeavesNoWindowBehind) {
  HHOOK hook = ::SetWindowsHookExW(WH_CBT, &RefuseEditFields, nullptr, ::GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  bool destroyed = false;
  TForm1::Actions actions;
  actions.onDestroy = [&](TForm1&) { destroyed = true; };
  bool failed = false;
  try {
    TForm1 form(::GetModuleHandleW(nullptr), 96, actions);
  } catch (const std::exception&) {
    failed = true;
  }
  ::UnhookWindowsHookEx(hook);
  ASSERT_TRUE(failed) << "the refused control did not fail the start-up";
  // A window left over would hand its messages to the form that is gone.
  EXPECT_TRUE(ThreadForms().empty());
  EXPECT_FALSE(destroyed) << "a handler of the half-made form ran";
}

// The system's calls, as the hold made them.
struct Call {
  std::string what;
  HWND window;
  std::wstring reason;
};
std::vector<Call> calls;
BOOL registerAnswer = TRUE;

BOOL WINAPI RecordCreate(HWND window, LPCWSTR reason) {
  calls.push_back({"create", window, reason});
  return registerAnswer;
}
BOOL WINAPI RecordDestroy(HWND window) {
  calls.push_back({"destroy", window, L""});
  return TRUE;
}

TEST_F(MainWindowForm, RebuildHoldsTheSessionEndOnEveryWayOut) {
  auto form = std::make_unique<TForm1>(::GetModuleHandleW(nullptr), 96, TForm1::Actions{});
  HWND window = form->Handle();
  ShutdownBlock::Calls saved = ShutdownBlock::SystemCalls();
  ShutdownBlock::SystemCalls() = ShutdownBlock::Calls{&RecordCreate, &RecordDestroy};
  const std::wstring reason = L"Идёт оптимизация базы данных…";
  ASSERT_EQ(platform::Widen(UMain::kRebuildRunningReason), reason);

  auto ends = [&] { return ::SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF); };
  EXPECT_EQ(ends(), TRUE) << "idle, the session may end";
  {
    ShutdownBlock held(window, UMain::kRebuildRunningReason);
    EXPECT_EQ(ends(), FALSE);
  }
  EXPECT_EQ(ends(), TRUE);
  try {
    ShutdownBlock held(window, UMain::kRebuildRunningReason);
    throw std::runtime_error("the rebuild failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(ends(), TRUE) << "still held after a failure";
  // Where the system refuses the reason (Wine does), there is nothing to remove.
  registerAnswer = FALSE;
  {
    ShutdownBlock held(window, UMain::kRebuildRunningReason);
    EXPECT_EQ(ends(), FALSE);
  }
  registerAnswer = TRUE;
  ShutdownBlock::SystemCalls() = saved;
  form.reset();
  MSG quit;  // the window's end posted it; this thread has no loop to take it
  while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }

  const char* expected[] = {"create", "destroy", "create", "destroy", "create"};
  ASSERT_EQ(calls.size(), 5u);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(calls[i].what, expected[i]);
    EXPECT_EQ(calls[i].window, window);
    if (calls[i].what == "create") {
      EXPECT_EQ(calls[i].reason, reason);
    }
  }
}

}  // namespace
