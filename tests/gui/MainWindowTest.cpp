// The operator's program under Wine: its main window, controls, list, path field
// and stored path, read and driven from outside as a person would.
#include "tests/gui/ProgramDriver.h"

#include <gtest/gtest.h>

#include "app/ScaleUtils.h"
#include "app/UMainModel.h"
#include "platform/Process.h"
#include "platform/win32/QueryMessages.h"

#include <cwchar>
#include <vector>

namespace {

using gui::BoundsInParent;
using gui::ClassOf;
using gui::TextOf;

const wchar_t kRegistryKey[] = L"Software\\Velmora\\ZARVO\\OptimizeDB";
const wchar_t kRegistryValue[] = L"FilenameEdit1.Text";

void ForgetStoredPath() {
  HKEY key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    ::RegDeleteValueW(key, kRegistryValue);
    ::RegCloseKey(key);
  }
}

void StorePath(const std::string& path) {
  HKEY key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::wstring wide = platform::Widen(path);
  ::RegSetValueExW(key, kRegistryValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
}

std::string StoredPath() {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, kRegistryKey, kRegistryValue, RRF_RT_REG_SZ, &type,
                     buffer, &size) != ERROR_SUCCESS) {
    return "<none>";
  }
  return platform::Narrow(buffer, wcslen(buffer));
}

class MainWindow : public ::testing::Test {
 protected:
  void Start(const std::string& arguments = "") {
    program_ = std::make_unique<gui::RunningProgram>("QVNOptimizeDB.exe", arguments);
    form_ = program_->WaitForWindow(L"TForm1");
    ASSERT_NE(form_, nullptr) << "no main window";
  }
  // Closes the window as the operator does; the program must end with code 0.
  void Close() {
    ::PostMessageW(form_, WM_CLOSE, 0, 0);
    EXPECT_EQ(program_->WaitForExit(), 0);
  }
  HWND Control(const UMain::ControlLayout& layout) const {
    return ::GetDlgItem(form_, layout.id);
  }
  int Selection() const {
    return static_cast<int>(::SendMessageW(Control(UMain::kListBox1), LB_GETCURSEL, 0, 0));
  }
  void Click(int item) {
    HWND list = Control(UMain::kListBox1);
    ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(item), 0);
    ::SendMessageW(form_, WM_COMMAND, MAKEWPARAM(UMain::kListBox1.id, LBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(list));
  }

  std::unique_ptr<gui::RunningProgram> program_;
  HWND form_ = nullptr;
};

struct Expected {
  const UMain::ControlLayout* layout;
  const char* className;
  const char* text;  // nullptr: not compared
};

void CheckLayout(HWND form, int ppi) {
  using namespace UMain;
  RECT client;
  ::GetClientRect(form, &client);
  EXPECT_EQ(client.right, ScaleUtils::Scale(kClientWidth, ppi));
  EXPECT_EQ(client.bottom, ScaleUtils::Scale(kClientHeight, ppi));
  EXPECT_EQ(TextOf(form), kFormCaption);

  LONG style = ::GetWindowLongW(form, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_TRUE(::GetWindowLongW(form, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);

  const Expected controls[] = {
      {&kLabel3, "Static", kLabel3Text},       {&kLabel1, "Static", kLabel1Text},
      {&kLabel2, "Static", kLabel2Text},       {&kListBox1, "ListBox", nullptr},
      {&kFilenameEdit1, "Edit", nullptr},      {&kLabel4, "Static", kLabel4Text},
      {&kBtnShowStat, "Button", kBtnShowStatText}, {&kButton1, "Button", kButton1Text},
  };
  for (const Expected& c : controls) {
    SCOPED_TRACE(c.layout->name);
    HWND control = ::GetDlgItem(form, c.layout->id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(ClassOf(control), c.className);
    if (c.text) {
      EXPECT_EQ(TextOf(control), c.text);
    }
    // The font the control uses, as the program reports it (font handles cannot be
    // read from another process).
    static const UINT fontMetrics = ::RegisterWindowMessageW(platform::kFontMetricsMessage);
    static const UINT fontFace = ::RegisterWindowMessageW(platform::kFontFaceMessage);
    LRESULT metrics = ::SendMessageW(form, fontMetrics, static_cast<WPARAM>(c.layout->id), 0);
    auto atom = static_cast<ATOM>(::SendMessageW(form, fontFace, static_cast<WPARAM>(c.layout->id), 0));
    wchar_t face[64] = {};
    ASSERT_NE(atom, 0);
    ::GlobalGetAtomNameW(atom, face, 64);
    ::GlobalDeleteAtom(atom);
    EXPECT_EQ(platform::Narrow(face, wcslen(face)), "Tahoma");
    int height = c.layout->font == FontKind::Tahoma16Green ||
                         c.layout->font == FontKind::Tahoma16WindowText
                     ? 16
                 : c.layout->font == FontKind::Tahoma19Bold ? 19
                                                             : 13;
    EXPECT_EQ(LOWORD(metrics), ScaleUtils::Scale(height, ppi));
    EXPECT_EQ(HIWORD(metrics), c.layout->font == FontKind::Tahoma19Bold ? FW_BOLD : FW_NORMAL);

    RECT r = BoundsInParent(control);
    EXPECT_EQ(r.left, ScaleUtils::Scale(c.layout->left, ppi));
    EXPECT_EQ(r.top, ScaleUtils::Scale(c.layout->top, ppi));
    // Static texts size themselves to their text in the font at hand; the other
    // controls have fixed sizes.
    if (std::string(c.className) != "Static") {
      EXPECT_EQ(r.right - r.left, ScaleUtils::Scale(c.layout->width, ppi));
      EXPECT_EQ(r.bottom - r.top, ScaleUtils::Scale(c.layout->height, ppi));
    } else {
      // Line heights differ between Tahoma and Wine's stand-in: the label holds its
      // lines (one per line break, none wrapped) at no less than the character
      // height each, and is no taller than the design's.
      int lines = 1;
      for (const char* p = c.text; *p; ++p) lines += *p == '\n';
      int characterHeight = c.layout->font == FontKind::Tahoma13Blue ? 13 : 16;
      EXPECT_GT(r.right - r.left, 0);
      EXPECT_GE(r.bottom - r.top, ScaleUtils::Scale(lines * characterHeight, ppi));
      EXPECT_LE(r.bottom - r.top, ScaleUtils::Scale(c.layout->height, ppi));
      // Its whole text inside the client area, across as well as down.
      EXPECT_LE(r.right, client.right);
      EXPECT_LE(r.bottom, client.bottom);
    }
  }
}

TEST_F(MainWindow, LayoutAtNinetySixPixelsPerInch) {
  ForgetStoredPath();
  Start();
  CheckLayout(form_, 96);
  Close();
}

TEST_F(MainWindow, DpiOptionScalesTheWindow) {
  for (const char* option : {"-DPI120", "/dpi144"}) {
    SCOPED_TRACE(option);
    ForgetStoredPath();
    Start(option);
    CheckLayout(form_, option[1] == '/' || option[5] == '4' ? 144 : 120);
    Close();
  }
}

TEST_F(MainWindow, ListShowsTheKnownDatabasesAndFirstRunSelectsTheFuelOne) {
  ForgetStoredPath();
  Start();
  HWND list = Control(UMain::kListBox1);
  ASSERT_EQ(::SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
  for (int i = 0; i < 3; ++i) {
    wchar_t item[256] = {};
    LRESULT n = ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(platform::Narrow(item, static_cast<std::size_t>(n)), UMain::kKnownDatabases[i].itemText);
  }
  EXPECT_EQ(TextOf(Control(UMain::kFilenameEdit1)), "C:\\QORD\\DB\\ZARVO.FDB");
  EXPECT_EQ(Selection(), 0);

  // The browse button stands over the path field's right end, inside its border.
  HWND field = Control(UMain::kFilenameEdit1);
  HWND browse = ::GetDlgItem(form_, UMain::kBrowseButtonId);
  ASSERT_NE(browse, nullptr);
  EXPECT_TRUE(::IsWindowVisible(browse));
  RECT fieldClient, browseBounds = BoundsInParent(browse);
  ::GetClientRect(field, &fieldClient);
  ::MapWindowPoints(field, form_, reinterpret_cast<POINT*>(&fieldClient), 2);
  EXPECT_EQ(browseBounds.right, fieldClient.right);
  EXPECT_EQ(browseBounds.top, fieldClient.top);
  EXPECT_EQ(browseBounds.bottom, fieldClient.bottom);
  EXPECT_GT(browseBounds.right - browseBounds.left, 10);
  // Above the field in the z-order, and the field clips it out, so it stays visible.
  bool fieldBelow = false;
  for (HWND w = ::GetWindow(browse, GW_HWNDNEXT); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    fieldBelow = fieldBelow || w == field;
  }
  EXPECT_TRUE(fieldBelow);
  EXPECT_TRUE(::GetWindowLongW(field, GWL_STYLE) & WS_CLIPSIBLINGS);

  // The keyboard focus starts in the path field; Tab goes list, field, optimize, statistics.
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(::GetGUIThreadInfo(::GetWindowThreadProcessId(form_, nullptr), &info));
  EXPECT_EQ(info.hwndFocus, Control(UMain::kFilenameEdit1));
  HWND order[] = {Control(UMain::kListBox1), Control(UMain::kFilenameEdit1),
                  Control(UMain::kButton1), Control(UMain::kBtnShowStat)};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(::GetNextDlgTabItem(form_, order[i], FALSE), order[(i + 1) % 4]) << i;
  }
  Close();
}

TEST_F(MainWindow, ClicksWriteExactPathsAndCloseStoresTheField) {
  ForgetStoredPath();
  Start();
  Click(1);
  EXPECT_EQ(TextOf(Control(UMain::kFilenameEdit1)), "C:\\QORD\\DB\\TradeDB\\TradeDB.FDB");
  Click(2);
  EXPECT_EQ(TextOf(Control(UMain::kFilenameEdit1)), "C:\\QORD\\OfficeDB\\OFFICE.FDB");
  Click(-1);
  EXPECT_EQ(TextOf(Control(UMain::kFilenameEdit1)), "C:\\QORD\\DB\\");
  Click(0);
  EXPECT_EQ(TextOf(Control(UMain::kFilenameEdit1)), "C:\\QORD\\DB\\ZARVO.FDB");
  // A hand-typed path is what gets stored.
  ::SendMessageW(Control(UMain::kFilenameEdit1), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(L"D:\\Базы\\Моя база.fdb"));
  Close();
  EXPECT_EQ(StoredPath(), "D:\\Базы\\Моя база.fdb");
}

TEST_F(MainWindow, StoredPathIsRestoredAndSelectsCaseInsensitively) {
  StorePath("c:\\qord\\db\\tradedb\\tradedb.fdb");
  Start();
  EXPECT_EQ(TextOf(Control(UMain::kFilenameEdit1)), "c:\\qord\\db\\tradedb\\tradedb.fdb");
  EXPECT_EQ(Selection(), 1);
  Close();

  StorePath("C:\\QORD\\OfficeDB\\OFFICE.FDB");  // never selected at start
  Start();
  EXPECT_EQ(TextOf(Control(UMain::kFilenameEdit1)), "C:\\QORD\\OfficeDB\\OFFICE.FDB");
  EXPECT_EQ(Selection(), LB_ERR);
  Close();

  StorePath("Z:\\gone\\away.fdb");  // restored even though it does not exist
  Start();
  EXPECT_EQ(TextOf(Control(UMain::kFilenameEdit1)), "Z:\\gone\\away.fdb");
  Close();
  ForgetStoredPath();
}

}  // namespace

namespace {

std::string VersionString(const std::vector<char>& data, const char* name) {
  struct Translation {
    WORD language;
    WORD codePage;
  }* translations = nullptr;
  UINT size = 0;
  if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &size) ||
      size < sizeof(Translation)) {
    return "<no translation>";
  }
  wchar_t block[128];
  swprintf(block, 128, L"\\StringFileInfo\\%04x%04x\\%hs", translations[0].language,
           translations[0].codePage, name);
  wchar_t* value = nullptr;
  if (!::VerQueryValueW(data.data(), block, reinterpret_cast<void**>(&value), &size) || !value)
    return "<none>";
  return platform::Narrow(value, wcslen(value));
}

TEST(ProgramResources, VersionRecordAndManifest) {
  std::wstring exe = platform::Widen(platform::ExecutableDir() + "QVNOptimizeDB.exe");
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(::GetFileVersionInfoW(exe.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 12));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(1, 0));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 12));
  EXPECT_EQ(VersionString(data, "FileDescription"), "Утилита для оптимизации базы данных");
  EXPECT_EQ(VersionString(data, "ProductName"), "ZARVO");
  EXPECT_EQ(VersionString(data, "ProductVersion"), "12.\xD1\x85");  // Cyrillic х
  EXPECT_EQ(VersionString(data, "FileVersion"), "12.0.0.1");

  // The manifest: common controls 6, no elevation, DPI-aware.
  HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const char* manifest = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
  std::string text(manifest, ::SizeofResource(module, found));
  ::FreeLibrary(module);
  EXPECT_NE(text.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(text.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(text.find(">true</dpiAware>"), std::string::npos);
}

}  // namespace
