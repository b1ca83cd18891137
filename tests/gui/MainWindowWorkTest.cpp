// The operator's program under Wine doing its work: refusal without the utility
// library, the log of a run, refused and busy paths, the statistics request with a
// stand-in tool, and the rebuild with a test double of the database client.
#include "tests/gui/ProgramDriver.h"
#include "tests/gui/TestSite.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/UMainModel.h"
#include "app/win32/ShutdownBlock.h"
#include "maintenance/RebuildChecks.h"
#include "maintenance/Workflow.h"
#include "platform/Encoding.h"
#include "platform/Process.h"

namespace {

namespace fs = std::filesystem;
using gui::DialogText;
using gui::PressOk;
using gui::TextOf;
using gui::ConsoleRun;
using gui::Checkpoint;
using gui::Exists;
using gui::Installation;
using gui::kLogPath;
using gui::ReadBytes;
using gui::RunConsole;
using gui::ScopedEnvironment;
using gui::WriteBytes;
using gui::Texts;

class Work : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Exists("C:\\QORD\\fbUtils.dll")) << "the site path must not serve a library";
    logSizeBefore_ = ReadBytes(kLogPath).size();
  }

  // Starts the program of `installation` (in `currentFolder`, when given) and waits
  // for its main window.
  void Start(const Installation& installation, const std::string& currentFolder = "") {
    program_ = std::make_unique<gui::RunningProgram>(installation.Path("QVNOptimizeDB.exe"), "",
                                                     currentFolder);
    form_ = program_->WaitForWindow(L"TForm1");
    ASSERT_NE(form_, nullptr);
  }
  void Close() {
    ::PostMessageW(form_, WM_CLOSE, 0, 0);
    EXPECT_EQ(program_->WaitForExit(), 0);
  }
  void SetPath(const std::string& path) {
    ::SendMessageW(::GetDlgItem(form_, UMain::kFilenameEdit1.id), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(platform::Widen(path).c_str()));
  }
  std::string Path() const { return TextOf(::GetDlgItem(form_, UMain::kFilenameEdit1.id)); }
  // Presses a button and returns the message box that it leads to, read and closed.
  // With `checkpoint`, the screenshot script takes a picture of the box first.
  std::string PressAndReadBox(int buttonId, const std::string& caption,
                              const char* checkpoint = nullptr) {
    gui::Click(::GetDlgItem(form_, buttonId));
    HWND box = program_->WaitForDialog(caption);
    EXPECT_NE(box, nullptr) << "no box captioned " << caption;
    if (!box) return "<no box>";
    std::string text = DialogText(box);
    if (caption == "СТАТИСТИКА БАЗЫ ДАННЫХ") Checkpoint("statistics-box");
    if (checkpoint != nullptr) Checkpoint(checkpoint);
    PressOk(box);
    gui::WaitFor([&] { return !::IsWindow(box); });
    return text;
  }
  // The log's text written since the test began, back in UTF-8.
  std::string NewLog() const {
    return platform::Cp1251ToUtf8(ReadBytes(kLogPath).substr(logSizeBefore_));
  }

  std::size_t logSizeBefore_ = 0;
  std::unique_ptr<gui::RunningProgram> program_;
  HWND form_ = nullptr;
};

TEST_F(Work, WithoutTheUtilityLibraryTheProgramRefusesToStart) {
  Installation site("nolib");
  site.Add("QVNOptimizeDB.exe");
  gui::RunningProgram program(site.Path("QVNOptimizeDB.exe"), "");
  HWND box = program.WaitForDialog("Ошибка!");
  ASSERT_NE(box, nullptr);
  const std::string text = DialogText(box);
  EXPECT_EQ(text.rfind("Модуль fbUtils.dll не загружен. В запуске приложения отказано!", 0), 0u) << text;
  EXPECT_NE(text.find("Файл fbUtils.dll не найден ни рядом с программой, ни как C:\\QORD\\fbUtils.dll"),
            std::string::npos)
      << text;
  for (HWND w : program.Windows()) EXPECT_NE(gui::ClassOf(w), "TForm1");
  PressOk(box);
  EXPECT_EQ(program.WaitForExit(), 0);
  EXPECT_EQ(NewLog(), "");
}

TEST_F(Work, ARunLogsItsStartAndExit) {
  Installation site("log");
  site.Add("QVNOptimizeDB.exe");
  site.Add("fbUtils.dll");
  Start(site);
  Close();
  std::string log = NewLog();
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"", "Программа запущена", "Выход из программы"}))
      << log;
  // Stamps of the form 07.12.2026 09:49:22.123 before the texts.
  std::size_t first = log.find("\r\n") + 2;
  EXPECT_EQ(log.substr(first + 23, 1), " ");
  EXPECT_EQ(log.substr(first + 2, 1), ".");
}

TEST_F(Work, RefusedAndBusyPathsShowTheirMessagesAndChangeNothing) {
  Installation site("refused");
  site.Add("QVNOptimizeDB.exe");
  site.Add("fbUtils.dll");
  Start(site);

  SetPath("s:\\db\\base.fdb");
  EXPECT_EQ(PressAndReadBox(UMain::kButton1.id, "Оптимизация БД"),
            "База данных должна находиться НА ЭТОМ КОМПЬЮТЕРЕ!!!");
  EXPECT_EQ(Path(), "s:\\db\\base.fdb");
  SetPath("\\\\server\\share\\base.fdb");
  EXPECT_EQ(PressAndReadBox(UMain::kButton1.id, "Оптимизация БД"),
            "База данных должна находиться НА ЭТОМ КОМПЬЮТЕРЕ!!!\r\nСетевые пути НЕ ДОПУСКАЮТСЯ!!!");

  // (Another program at work with the database is the server's to tell: the rebuild
  // asks it to shut the database down, see RealServerTest.cpp.)
  EXPECT_TRUE(::IsWindowEnabled(form_));
  Close();
  // Refusals go to the log too.
  std::vector<std::string> texts = Texts(NewLog());
  ASSERT_GE(texts.size(), 4u) << ::testing::PrintToString(texts);
  EXPECT_EQ(texts[2], "[ошиб] Ошибка оптимизации: База данных должна находиться НА ЭТОМ КОМПЬЮТЕРЕ!!!");
  EXPECT_EQ(texts.back(), "Выход из программы");
}

TEST_F(Work, StatisticsShowAndLogTheToolsConvertedOutput) {
  Installation site("stat");
  site.Add("QVNOptimizeDB.exe");
  site.Add("fbUtils.dll");
  const std::string tool = "C:\\QORD\\FIREBIRD\\bin\\gstat.exe";
  fs::create_directories("C:\\QORD\\FIREBIRD\\bin");
  fs::copy_file(fs::u8path(platform::ExecutableDir() + "fake_gstat.exe"), tool,
                fs::copy_options::overwrite_existing);
  std::string database = site.Path("Моя база.FDB");
  ASSERT_TRUE(gui::WriteBytes(database, "database"));
  ASSERT_NE(::GetFileAttributesW(platform::Widen(database).c_str()), INVALID_FILE_ATTRIBUTES);

  Start(site);
  SetPath(database);
  std::string expected = "Команда: " + tool + " \"" + database + "\" -h\r\nРезультат: (см. " +
                         kLogPath + ")\r\nargs: [" + database + "] [-h]\r\nСтраница: 16384\r\n";
  EXPECT_EQ(PressAndReadBox(UMain::kBtnShowStat.id, "СТАТИСТИКА БАЗЫ ДАННЫХ"), expected);
  Close();
  fs::remove(tool);

  // Logged as one entry (continuation lines without a header), blank line ends trimmed.
  std::string log = NewLog();
  std::string body = expected.substr(0, expected.size() - 2);
  EXPECT_NE(log.find(" " + body + "\r\n"), std::string::npos) << log;

  SetUp();  // a missing tool is named, nothing is logged
  Start(site);
  SetPath(database);
  EXPECT_EQ(PressAndReadBox(UMain::kBtnShowStat.id, "Оптимизация БД"),
            "Не удалось найти файл: " + tool);
  Close();
  EXPECT_EQ(Texts(NewLog()), (std::vector<std::string>{"", "Программа запущена", "Выход из программы"}));
}

TEST_F(Work, EnterPressesTheFocusedButton) {
  Installation site("enter");
  site.Add("QVNOptimizeDB.exe");
  site.Add("fbUtils.dll");
  Start(site);
  SetPath("s:\\db\\base.fdb");
  auto focus = [&] {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(form_, nullptr), &info);
    return info.hwndFocus;
  };
  // The focus put on the button as a mouse click does (under Wine a Tab also makes
  // it the default button, which the dialog manager presses on Enter by itself).
  HWND button = ::GetDlgItem(form_, UMain::kButton1.id);
  DWORD programThread = ::GetWindowThreadProcessId(form_, nullptr);
  ASSERT_TRUE(::AttachThreadInput(::GetCurrentThreadId(), programThread, TRUE));
  ::SetFocus(button);
  ::AttachThreadInput(::GetCurrentThreadId(), programThread, FALSE);
  ASSERT_TRUE(gui::WaitFor([&] { return focus() == button; }));
  ::PostMessageW(button, WM_KEYDOWN, VK_RETURN, 1);
  HWND box = program_->WaitForDialog("Оптимизация БД", std::chrono::seconds(10));
  ASSERT_NE(box, nullptr) << "Enter did not press the button";
  EXPECT_EQ(DialogText(box), "База данных должна находиться НА ЭТОМ КОМПЬЮТЕРЕ!!!");
  EXPECT_EQ(::GetWindow(box, GW_OWNER), form_) << "the box belongs to the main window";
  PressOk(box);
  gui::WaitFor([&] { return !::IsWindow(box); });
  Close();
}

// The open dialog belonging to the main window, waiting for it.
HWND WaitForOpenDialog(const gui::RunningProgram& program, HWND owner) {
  HWND found = nullptr;
  gui::WaitFor([&] {
    for (HWND w : program.Windows()) {
      if (gui::ClassOf(w) == "#32770" && ::GetWindow(w, GW_OWNER) == owner) {
        found = w;
        return true;
      }
    }
    return false;
  });
  return found;
}

TEST_F(Work, BrowseButtonOpensTheFileDialogAndTakesTheChosenPath) {
  Installation site("browse");
  site.Add("QVNOptimizeDB.exe");
  site.Add("fbUtils.dll");
  std::string database = site.Path("CHOSEN.FDB");
  ASSERT_TRUE(gui::WriteBytes(database, "database"));
  Start(site);
  const std::string before = Path();
  gui::Click(::GetDlgItem(form_, UMain::kBrowseButtonId));
  HWND dialog = WaitForOpenDialog(*program_, form_);
  ASSERT_NE(dialog, nullptr) << "no open dialog";

  // The two filters, the first one chosen; no read-only box.
  HWND filters = ::GetDlgItem(dialog, 0x470);  // cmb1
  ASSERT_NE(filters, nullptr);
  ASSERT_EQ(::SendMessageW(filters, CB_GETCOUNT, 0, 0), 2);
  wchar_t item[128] = {};
  LRESULT n = ::SendMessageW(filters, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
  EXPECT_EQ(platform::Narrow(item, static_cast<std::size_t>(n)), "Файл базы данных (*.FDB)");
  n = ::SendMessageW(filters, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(item));
  EXPECT_EQ(platform::Narrow(item, static_cast<std::size_t>(n)), "Все файлы (*.*)");
  EXPECT_EQ(::SendMessageW(filters, CB_GETCURSEL, 0, 0), 0);
  HWND readOnly = ::GetDlgItem(dialog, 0x410);  // chx1
  EXPECT_TRUE(readOnly == nullptr || !::IsWindowVisible(readOnly));

  // A file that does not exist is not accepted: the dialog stays.
  HWND name = ::GetDlgItem(dialog, 0x47C);  // cmb13, the file name
  if (!name) name = ::GetDlgItem(dialog, 0x480);  // edt1
  ASSERT_NE(name, nullptr);
  ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(platform::Widen(site.Path("NONE.FDB")).c_str()));
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  HWND complaint = nullptr;
  gui::WaitFor([&] {
    for (HWND w : program_->Windows()) {
      if (gui::ClassOf(w) == "#32770" && w != dialog) complaint = w;
    }
    return complaint != nullptr;
  });
  ASSERT_NE(complaint, nullptr) << "a missing file was accepted";
  PressOk(complaint);
  gui::WaitFor([&] { return !::IsWindow(complaint); });
  EXPECT_TRUE(::IsWindow(dialog));
  EXPECT_EQ(Path(), before) << "the field keeps its text meanwhile";

  // An existing file replaces the field's text with its full path.
  ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(platform::Widen(database).c_str()));
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(gui::WaitFor([&] { return !::IsWindow(dialog); }));
  EXPECT_TRUE(gui::WaitFor([&] { return Path() == database; })) << Path();
  Close();
}

// The rebuild end to end with a test double in place of the database client.
TEST_F(Work, OptimizeRebuildsUnderTheProgressWindowThenReportsSuccess) {
  Installation site("optimize");
  site.Add("QVNOptimizeDB.exe");
  site.Add("fbUtils.dll");
  site.Add("testdouble\\fbclient.dll", "fbclient.dll");
  std::string database = site.Path("BASE.FDB");
  std::string content(300000, 'd');
  ASSERT_TRUE(gui::WriteBytes(database, content));

  // The backup waits at this gate while the busy program is looked at.
  std::wstring gateName = L"qvn_backup_gate_" + std::to_wstring(platform::CurrentProcessId());
  platform::ScopedKernelHandle gate(::CreateEventW(nullptr, TRUE, FALSE, gateName.c_str()));
  ASSERT_TRUE(gate.IsValid());
  ScopedEnvironment gated(L"QVN_FBCLIENT_DOUBLE_GATE", gateName.c_str());

  Start(site);
  SetPath(database);
  gui::Click(::GetDlgItem(form_, UMain::kButton1.id));
  HWND progress = program_->WaitForWindow(L"ProgressViewerFormClass");
  ASSERT_NE(progress, nullptr) << "the progress window shows while the jobs run";
  Checkpoint("progress-during-rebuild");
  // Its top line is the title set at start-up.
  std::string title;
  gui::WaitFor([&] { return !(title = gui::DrawnLineOf(progress, 0)).empty(); });
  EXPECT_EQ(title, "Velmora - ZARVO");
  // Busy: log-off and shut-down are held on the main window, and the progress
  // window, on its own thread, answers the session's end at once, with a no.
  EXPECT_NE(::GetPropW(form_, ShutdownBlock::kHeldProperty), nullptr);
  DWORD_PTR answer = TRUE;
  EXPECT_NE(::SendMessageTimeoutW(progress, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                  SMTO_ABORTIFHUNG, 5000, &answer),
            0);
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(FALSE));
  ::SetEvent(gate.Get());

  HWND box = program_->WaitForDialog("Оптимизация БД");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(DialogText(box), kOptimizeSuccess);
  EXPECT_EQ(::GetWindow(box, GW_OWNER), form_);
  EXPECT_EQ(::GetPropW(form_, ShutdownBlock::kHeldProperty), nullptr) << "held after the rebuild";
  EXPECT_EQ(program_->WaitForWindow(L"ProgressViewerFormClass", std::chrono::milliseconds(0)),
            nullptr)
      << "the success box comes after the progress window has gone";
  PressOk(box);
  Close();

  EXPECT_TRUE(ReadBytes(database) == content);
  EXPECT_FALSE(Exists(site.Path("BASE.qvnbasebackup")));
  EXPECT_FALSE(Exists(site.Path("BASE.qvntempbase")));
  std::vector<std::string> texts = Texts(NewLog());
  ASSERT_EQ(texts.size(), 14u) << ::testing::PrintToString(texts);
  EXPECT_EQ(texts[2], "[соб.] Будет создана резервная копия базы данных \"" + database + "\"");
  EXPECT_EQ(texts[3].rfind("База данных закрыта полностью через ", 0), 0u) << texts[3];
  EXPECT_EQ(texts[4].rfind("Счётчик транзакций подтвердил", 0), 0u) << texts[4];
  EXPECT_EQ(texts[8], "[соб.] Восстановление из резервной копии завершено");
  EXPECT_EQ(texts[9], "Итоги оптимизации:");
  EXPECT_EQ(texts[11], "Размер страницы: 4096 -> 16384 байт");
}

// What must never happen to the working database, through the window: a name whose
// side file would be the database itself, a second run of the same database, and a
// kill at the swap (the window's ghost offers one) leave it whole.
TEST_F(Work, SideNamesASecondRunAndAKillLeaveTheDatabaseWhole) {
  Installation site("safety");
  site.Add("QVNOptimizeDB.exe");
  site.Add("fbUtils.dll");
  site.Add("testdouble\\fbclient.dll", "fbclient.dll");
  std::string content(200000, 's');
  std::string sideNamed = site.Path("BASE.QVNTEMPBASE");
  std::string database = site.Path("BASE.FDB");
  WriteBytes(sideNamed, content);
  WriteBytes(database, content);

  Start(site);
  SetPath(sideNamed);
  std::string refusal = PressAndReadBox(UMain::kButton1.id, "Оптимизация БД", "side-name-refusal");
  EXPECT_EQ(refusal.rfind("Файл \"" + sideNamed + "\" нельзя оптимизировать", 0), 0u) << refusal;
  {
    std::unique_ptr<platform::NamedLock> otherRun = TakeRebuildLock(database);
    SetPath(site.Path("base.fdb"));  // the same file, as Windows compares names
    refusal = PressAndReadBox(UMain::kButton1.id, "Оптимизация БД");
    EXPECT_NE(refusal.find("уже оптимизируется другой копией программы"), std::string::npos)
        << refusal;
  }
  Close();
  EXPECT_TRUE(ReadBytes(sideNamed) == content);

  for (const wchar_t* point : {L"swap", L"swapped"}) {
    ScopedEnvironment stop(L"QVN_TEST_STOP_AT", point);
    Start(site);
    SetPath(database);
    gui::Click(::GetDlgItem(form_, UMain::kButton1.id));
    EXPECT_EQ(program_->WaitForExit(std::chrono::seconds(60)), 86);
    EXPECT_TRUE(ReadBytes(database) == content) << "a whole database at the working name";
  }
  Start(site);
  SetPath(database);
  EXPECT_EQ(PressAndReadBox(UMain::kButton1.id, "Оптимизация БД"), kOptimizeSuccess);
  Close();
  EXPECT_TRUE(ReadBytes(database) == content);
  EXPECT_FALSE(Exists(site.Path("BASE.qvnbasebackup")));
  EXPECT_FALSE(Exists(site.Path("BASE.qvntempbase")));
}

TEST_F(Work, AFailedRestoreShowsTheWrappedMessageAndKeepsTheDatabase) {
  Installation site("restorefails");
  site.Add("QVNOptimizeDB.exe");
  site.Add("fbUtils.dll");
  site.Add("testdouble\\fbclient.dll", "fbclient.dll");
  std::string database = site.Path("BASE.FDB");
  std::string content(100000, 'e');
  ASSERT_TRUE(gui::WriteBytes(database, content));
  ScopedEnvironment failing(L"QVN_FBCLIENT_DOUBLE_FAIL", L"restore");

  Start(site);
  SetPath(database);
  EXPECT_EQ(PressAndReadBox(UMain::kButton1.id, "Оптимизация БД"),
            "Восстановление из резервной копии -> I/O error during restore (test double) "
            "<# EIBInterBaseError #>\r\nРабочая база данных не изменена.");
  EXPECT_TRUE(::IsWindowEnabled(form_));
  EXPECT_EQ(::GetPropW(form_, ShutdownBlock::kHeldProperty), nullptr) << "held after a failure";
  Close();
  EXPECT_TRUE(ReadBytes(database) == content);
  EXPECT_FALSE(Exists(site.Path("BASE.qvnbasebackup"))) << "the backup file is removed";
  // The failure came while reading the output: the lines read so far are dumped
  // (one entry, continuation lines without a header) before the error line.
  std::string log = NewLog();
  EXPECT_NE(log.find(" Лог восстановления (предоставлен в целях отладки ошибки):\r\n"
                     "gbak: double line 1\r\ngbak: double line 2\r\n"),
            std::string::npos)
      << log;
  std::vector<std::string> texts = Texts(log);
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[texts.size() - 2].rfind("[ошиб] Ошибка восстановления из резервной копии: ", 0), 0u)
      << texts[texts.size() - 2];
}

// A fbclient.dll planted in the folder the program is started from is never loaded
// (it would receive the server's password): with no client where the program looks
// for one, the rebuild stops for want of a client and the database stays as it was.
TEST_F(Work, AClientPlantedInTheCurrentFolderIsNotLoaded) {
  ASSERT_FALSE(Exists("C:\\QORD\\FIREBIRD\\bin\\fbclient.dll")) << "the site path serves a client";
  Installation site("planted");
  site.Add("QVNOptimizeDB.exe");
  site.Add("fbUtils.dll");
  Installation startedFrom("planted_cwd");
  startedFrom.Add("testdouble\\fbclient.dll", "fbclient.dll");
  std::string database = site.Path("BASE.FDB");
  std::string content(100000, 'p');
  ASSERT_TRUE(WriteBytes(database, content));

  Start(site, startedFrom.Path(""));
  SetPath(database);
  std::string failure = PressAndReadBox(UMain::kButton1.id, "Оптимизация БД");
  EXPECT_NE(failure.find("Не удалось загрузить клиентскую библиотеку Firebird:"), std::string::npos)
      << failure;
  Close();
  EXPECT_TRUE(ReadBytes(database) == content);
}

TEST_F(Work, ConsoleProgramRebuildsAndRefusesLikeTheWindow) {
  Installation site("console");
  site.Add("qvnoptimize.exe");
  ConsoleRun refused = RunConsole(site, "stat");
  EXPECT_EQ(refused.exitCode, 1u);  // unlike the window: a scheduled run must see a failure
  EXPECT_FALSE(refused.doubledLineEnd) << "a line end doubled";
  EXPECT_EQ(refused.output.rfind("Модуль fbUtils.dll не загружен. В запуске приложения отказано!\n"
                                 "Файл fbUtils.dll не найден", 0),
            0u)
      << refused.output;
  // A file that the system cannot load is named, with the system's reason.
  ASSERT_TRUE(gui::WriteBytes(site.Path("fbUtils.dll"), "MZ damaged"));
  ConsoleRun damaged = RunConsole(site, "stat");
  EXPECT_EQ(damaged.exitCode, 1u);
  EXPECT_NE(damaged.output.find("\nФайл \"" + site.Path("fbUtils.dll") +
                                "\" есть, но система не смогла его загрузить: "),
            std::string::npos)
      << damaged.output;
  std::filesystem::remove(std::filesystem::u8path(site.Path("fbUtils.dll")));

  site.Add("fbUtils.dll");
  site.Add("testdouble\\fbclient.dll", "fbclient.dll");
  ASSERT_TRUE(Exists(site.Path("fbUtils.dll")));
  std::string database = site.Path("BASE.FDB");
  std::string content(200000, 'c');
  ASSERT_TRUE(gui::WriteBytes(database, content));
  ConsoleRun rebuilt = RunConsole(site, "optimize \"" + database + "\"");
  EXPECT_EQ(rebuilt.exitCode, 0u) << rebuilt.output;
  EXPECT_FALSE(rebuilt.doubledLineEnd) << "a line end doubled";
  EXPECT_NE(rebuilt.output.find(std::string(kStageRestore) + "\n"), std::string::npos)
      << rebuilt.output;
  EXPECT_NE(rebuilt.output.find(std::string(kOptimizeSuccess) +
                                 "\nРазмер файла базы данных: 200000 -> 200000 байт\n"),
            std::string::npos)
      << rebuilt.output;
  EXPECT_TRUE(ReadBytes(database) == content);
  EXPECT_FALSE(Exists(site.Path("BASE.qvnbasebackup")));

  // Redirected, the tool's lines (CR LF already) and ours end in one CR LF each.
  const std::string tool = "C:\\QORD\\FIREBIRD\\bin\\gstat.exe";
  std::filesystem::create_directories("C:\\QORD\\FIREBIRD\\bin");
  std::filesystem::copy_file(std::filesystem::u8path(platform::ExecutableDir() + "fake_gstat.exe"),
                             tool, std::filesystem::copy_options::overwrite_existing);
  ConsoleRun stat = RunConsole(site, "stat \"" + database + "\"");
  std::filesystem::remove(tool);
  EXPECT_FALSE(stat.doubledLineEnd) << "a line end doubled";
  EXPECT_NE(stat.output.find("\nСтраница: 16384\n"), std::string::npos) << stat.output;

  ConsoleRun refusedPath = RunConsole(site, "optimize s:\\db\\base.fdb");
  EXPECT_EQ(refusedPath.exitCode, 3u) << "refused before anything was changed";
  EXPECT_EQ(refusedPath.output, "База данных должна находиться НА ЭТОМ КОМПЬЮТЕРЕ!!!\n");
  EXPECT_EQ(RunConsole(site, "rebuild").exitCode, 2u);
}

}  // namespace
