// The viewer's lines, failures and thread, with a presenter that only records.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include "progress/ProgressViewer.h"
#include "tests/progress/FreedViewers.h"
#include "tests/progress/RecordingPresenter.h"

namespace {

using freed_viewers::WaitFreed;

class ProgressViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    freed_viewers::Watch();
    ProgressFrameDelay = 5;  // quick passes; nothing here depends on the pace
  }
  void TearDown() override {
    // Every viewer a test made must be gone before the next test starts.
    for (TProgressViewer* viewer : made_) {
      viewer->Terminate();
      EXPECT_TRUE(WaitFreed(viewer));
    }
    ProgressFrameDelay = 50;
  }

  // A viewer with a recording presenter; terminated and awaited by TearDown.
  TProgressViewer* Make(const std::string& caption = "CAPTION", bool percent = false,
                        bool button = false, TProgressWorkProc work = nullptr) {
    auto* viewer = new TProgressViewer(caption, percent, button, std::move(work),
                                       std::make_unique<RecordingPresenter>(log_));
    made_.push_back(viewer);
    return viewer;
  }
  // Terminates a viewer made by Make and waits until it is gone.
  void Finish(TProgressViewer* viewer) {
    made_.erase(std::find(made_.begin(), made_.end(), viewer));
    viewer->Terminate();
    ASSERT_TRUE(WaitFreed(viewer));
  }

  // A copy of line `key`, if there is one.
  static std::optional<TStringInfo> Line(const std::vector<TStringInfo>& lines, std::int32_t key) {
    for (const TStringInfo& line : lines)
      if (line.Key == key) return line;
    return std::nullopt;
  }
  static std::vector<std::int32_t> Keys(const std::vector<TStringInfo>& lines) {
    std::vector<std::int32_t> keys;
    for (const TStringInfo& line : lines) keys.push_back(line.Key);
    return keys;
  }

  std::shared_ptr<PresenterLog> log_ = std::make_shared<PresenterLog>();
  std::vector<TProgressViewer*> made_;
};

std::string Failure(const std::function<void()>& action) {
  try {
    action();
  } catch (const EProgressException& e) {
    return e.Message();
  }
  return "(no failure)";
}

}  // namespace

TEST_F(ProgressViewerTest, NewViewerHasTheFixedLines) {
  TProgressViewer* viewer = Make("ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ");
  std::vector<TStringInfo> lines = viewer->Strings();
  ASSERT_EQ(Keys(lines), (std::vector<std::int32_t>{-1, 0, 1000, 1001, 1002}));

  struct Want {
    std::int32_t key;
    std::string text;
    std::int32_t size;
  };
  const Want wants[] = {
      {-1, ProgressAppTitle, 12},
      {0, "ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ", 14},
      {1000, " ", 8},
      {1001, "Выполняется длительная операция. Она может", 10},
      {1002, "продлиться несколько минут. Пожалуйста, подождите!", 10},
  };
  for (const Want& want : wants) {
    std::optional<TStringInfo> line = Line(lines, want.key);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->Text, want.text) << want.key;
    EXPECT_EQ(line->FontSize, want.size) << want.key;
    EXPECT_EQ(line->Alignment, taCenter) << want.key;
    EXPECT_FALSE(line->WordWrap) << want.key;
    EXPECT_EQ(line->FontStyle, fsBold) << want.key;
    EXPECT_EQ(line->Color, clBlack) << want.key;
    EXPECT_EQ(line->FontName, "MS Sans Serif") << want.key;
  }
}

TEST_F(ProgressViewerTest, EmptyCaptionBecomesOneBlank) {
  TProgressViewer* viewer = Make("");
  EXPECT_EQ(Line(viewer->Strings(), 0)->Text, " ");
}

TEST_F(ProgressViewerTest, SetCaptionChangesOnlyTheTextOfLineZero) {
  TProgressViewer* viewer = Make("A");
  viewer->ChangeStringParams(0, {spColor, spFontSize}, {std::int64_t{0x0000FF}, std::int64_t{20}});
  viewer->SetCaption("B");
  std::optional<TStringInfo> caption = Line(viewer->Strings(), 0);
  EXPECT_EQ(caption->Text, "B");
  EXPECT_EQ(caption->Color, 0x0000FFu);
  EXPECT_EQ(caption->FontSize, 20);
}

TEST_F(ProgressViewerTest, SetStringTwiceKeepsOneLineWithTheSecondText) {
  TProgressViewer* viewer = Make();
  viewer->SetString(10, "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ", taRightJustify, false, 0x008000, fsBold, 10, "");
  viewer->SetString(10, "ВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ", taLeftJustify, true, clDefault,
                    kAllFontStyles, -1, "");
  std::vector<TStringInfo> lines = viewer->Strings();
  EXPECT_EQ(Keys(lines), (std::vector<std::int32_t>{-1, 0, 10, 1000, 1001, 1002}));
  std::optional<TStringInfo> line = Line(lines, 10);
  EXPECT_EQ(line->Text, "ВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ");
  EXPECT_EQ(line->Alignment, taLeftJustify);  // every parameter replaced
  EXPECT_TRUE(line->WordWrap);
}

TEST_F(ProgressViewerTest, LinesAreOrderedByKey) {
  TProgressViewer* viewer = Make();
  viewer->SetString(5, "five", taCenter, false, clDefault, kAllFontStyles, -1, "");
  viewer->SetString(-5, "minus five", taCenter, false, clDefault, kAllFontStyles, -1, "");
  viewer->SetString(999, "last own", taCenter, false, clDefault, kAllFontStyles, -1, "");
  viewer->SetString(2000, "very last", taCenter, false, clDefault, kAllFontStyles, -1, "");
  EXPECT_EQ(Keys(viewer->Strings()),
            (std::vector<std::int32_t>{-5, -1, 0, 5, 999, 1000, 1001, 1002, 2000}));
}

TEST_F(ProgressViewerTest, DefaultsResolveFromViewerThenUnit) {
  TProgressViewer* viewer = Make();
  viewer->SetString(10, "x", taCenter, false, clDefault, kAllFontStyles, -1, "");
  const TStringInfo unitDefaults = *Line(viewer->Strings(), 10);
  EXPECT_EQ(unitDefaults.Color, clBlack);
  EXPECT_EQ(unitDefaults.FontSize, 8);
  EXPECT_EQ(unitDefaults.FontStyle, 0);
  EXPECT_EQ(unitDefaults.FontName, "MS Sans Serif");

  viewer->SetDefaults(0x00FF0000, 11, fsItalic, "Tahoma");
  viewer->SetString(11, "y", taCenter, false, clDefault, kAllFontStyles, -1, "");
  const TStringInfo own = *Line(viewer->Strings(), 11);
  EXPECT_EQ(own.Color, 0x00FF0000u);
  EXPECT_EQ(own.FontSize, 11);
  EXPECT_EQ(own.FontStyle, fsItalic);
  EXPECT_EQ(own.FontName, "Tahoma");

  // Given values are kept as they are.
  viewer->SetString(12, "z", taCenter, false, 0x00123456, fsUnderline | fsBold, 9, "Arial");
  const TStringInfo given = *Line(viewer->Strings(), 12);
  EXPECT_EQ(given.Color, 0x00123456u);
  EXPECT_EQ(given.FontSize, 9);
  EXPECT_EQ(given.FontStyle, fsUnderline | fsBold);
  EXPECT_EQ(given.FontName, "Arial");
}

TEST_F(ProgressViewerTest, ChangeStringParamsFailuresLeaveTheLineAlone) {
  TProgressViewer* viewer = Make();
  viewer->SetString(10, "stage", taCenter, false, clDefault, kAllFontStyles, -1, "");
  const std::vector<TStringInfo> before = viewer->Strings();

  const std::string prefix = "TProgressViewer.ChangeStringParams -> ";
  EXPECT_EQ(Failure([&] { viewer->ChangeStringParams(10, {spText, spColor}, {std::string("new")}); }),
            prefix + "Количество параметров и соответствующих им значений не совпадают!");
  EXPECT_EQ(Failure([&] { viewer->ChangeStringParams(7, {spText}, {std::string("new")}); }),
            prefix + "Строка с номером 7 не найдена!");
  // The unknown key is reported before mismatched arrays.
  EXPECT_EQ(Failure([&] { viewer->ChangeStringParams(7, {spText, spColor}, {}); }),
            prefix + "Строка с номером 7 не найдена!");
  // A value that cannot be converted: the conversion's own message, nothing changed
  // (not even the text set by the earlier entry).
  std::string bad = Failure([&] {
    viewer->ChangeStringParams(10, {spText, spFontSize}, {std::string("new"), std::string("big")});
  });
  EXPECT_EQ(bad.rfind(prefix, 0), 0u) << bad;
  EXPECT_NE(bad.find("Integer"), std::string::npos) << bad;

  std::optional<TStringInfo> line = Line(viewer->Strings(), 10);
  EXPECT_EQ(line->Text, "stage");
  EXPECT_EQ(line->FontSize, Line(before, 10)->FontSize);
}

TEST_F(ProgressViewerTest, ChangeStringParamsConvertsAndSkipsUnknownKinds) {
  TProgressViewer* viewer = Make();
  viewer->SetString(10, "stage", taCenter, false, clDefault, kAllFontStyles, -1, "");
  viewer->ChangeStringParams(
      10,
      {spText, static_cast<TStringParam>(9), spAlignment, spWordWrap, spFontName, spFontSize,
       spFontStyle, spColor, spText},
      {std::string("first"), std::string("ignored"), std::int64_t{0x101}, std::string("true"),
       std::string("Courier"), 12.4, std::int64_t{0x10F}, std::int64_t{0xFF00000F},
       std::int64_t{42}});
  std::optional<TStringInfo> line = Line(viewer->Strings(), 10);
  EXPECT_EQ(line->Text, "42");        // the later entry for the same kind wins
  EXPECT_EQ(line->Alignment, 1);      // low 8 bits of 0x101
  EXPECT_TRUE(line->WordWrap);
  EXPECT_EQ(line->FontName, "Courier");
  EXPECT_EQ(line->FontSize, 12);
  EXPECT_EQ(line->FontStyle, 15);     // low 8 bits; stored as given, no default resolved
  EXPECT_EQ(line->Color, 0xFF00000Fu);
  viewer->ChangeStringParams(10, {spColor}, {clDefault + std::int64_t{0}});
  EXPECT_EQ(Line(viewer->Strings(), 10)->Color, clDefault);  // not resolved here either
}

TEST(ProgressVariant, Conversions) {
  EXPECT_EQ(VarToStr(TVariant{}), "");
  EXPECT_EQ(VarToStr(TVariant{true}), "True");
  EXPECT_EQ(VarToStr(TVariant{std::int64_t{-3}}), "-3");
  EXPECT_EQ(VarToStr(TVariant{2.5}), "2.5");
  EXPECT_EQ(VarToInt(TVariant{std::string(" 42")}), 42);
  EXPECT_EQ(VarToInt(TVariant{std::string("$1F")}), 31);
  EXPECT_EQ(VarToInt(TVariant{std::string("-7")}), -7);
  EXPECT_EQ(VarToInt(TVariant{2.5}), 3);
  EXPECT_THROW(VarToInt(TVariant{std::string("4x")}), EConvertError);
  EXPECT_THROW(VarToInt(TVariant{std::string("")}), EConvertError);
  EXPECT_THROW(VarToInt(TVariant{std::int64_t{1} << 40}), EConvertError);
  EXPECT_THROW(VarToInt(TVariant{1e300}), EConvertError);
  EXPECT_TRUE(VarToBool(TVariant{std::string("TRUE")}));
  EXPECT_FALSE(VarToBool(TVariant{std::string("0")}));
  EXPECT_TRUE(VarToBool(TVariant{std::int64_t{-1}}));
  EXPECT_THROW(VarToBool(TVariant{std::string("yes")}), EConvertError);
}

TEST_F(ProgressViewerTest, RefusesToExistWithoutTheWindowClass) {
  ViewerClassRegistered = false;
  std::string message;
  try {
    new TProgressViewer("x", false, false, nullptr, std::make_unique<RecordingPresenter>(log_));
  } catch (const EProgressException& e) {
    message = e.Message();
  }
  ViewerClassRegistered = true;
  EXPECT_EQ(message, "Класс окна визуализации \"ProgressViewerFormClass\" не зарегистрирован!");
  std::lock_guard<std::mutex> guard(log_->lock);
  EXPECT_EQ(log_->windowsCreated, 0);  // no thread ever ran
}

TEST_F(ProgressViewerTest, LayoutGrowsTheWindowToTheTextPlusSeventy) {
  TProgressViewer* viewer = Make();
  viewer->SetString(10, "stage", taRightJustify, false, 0x008000, fsBold, 10, "");
  const int lines = 6;
  const int height = lines * RecordingPresenter::kLineHeight + 70;
  ASSERT_TRUE(log_->WaitFor([&] { return !log_->moves.empty() && log_->moves.back().Height == height; }));
  {
    std::lock_guard<std::mutex> guard(log_->lock);
    const TWindowPlace& place = log_->moves.back();
    EXPECT_EQ(place.Width, 450);
    EXPECT_EQ(place.Left, (1280 - 450) / 2);
    EXPECT_EQ(place.Top, RecordingPresenter::kWorkArea.Bottom - height - 100);
    EXPECT_EQ(log_->lastBlock.size(), static_cast<std::size_t>(lines));
  }
  // The measured heights are kept in the lines.
  for (const TStringInfo& line : viewer->Strings()) EXPECT_EQ(line.Height, RecordingPresenter::kLineHeight);

  // A wrapped line makes it grow again; the frames follow the new height.
  viewer->ChangeStringParams(10, {spWordWrap}, {true});
  const int taller = height + RecordingPresenter::kLineHeight;
  ASSERT_TRUE(log_->WaitFor([&] {
    return !log_->lastFrames.empty() && log_->lastFrames.back().Height == taller;
  }));
  std::lock_guard<std::mutex> guard(log_->lock);
  const TFrame& frame = log_->lastFrames.back();
  EXPECT_EQ(frame.Bar, (TRect{20, taller - 60, 430, taller - 40}));
  EXPECT_EQ(frame.ElapsedTop, taller - 25);
}

// The width is 450 at 96 pixels per inch and grows with the resolution, as the
// fonts do; a line that still does not fit widens the window (600 + 20 here) until
// it is gone again.
TEST_F(ProgressViewerTest, WidthFollowsTheResolutionAndTheWidestLine) {
  struct Case {
    int pixelsPerInch;
    int width;      // with the usual lines
    int wideWidth;  // with a line 600 pixels wide
  };
  for (const Case& c : {Case{96, 450, 620}, Case{120, 563, 620}, Case{144, 675, 675}}) {
    SCOPED_TRACE(c.pixelsPerInch);
    log_ = std::make_shared<PresenterLog>();
    auto* viewer = new TProgressViewer(
        "x", false, false, nullptr,
        std::make_unique<RecordingPresenter>(log_, 0x1000, c.pixelsPerInch));
    made_.push_back(viewer);
    auto widthIs = [&](int width) {
      return log_->WaitFor([&] {
        return !log_->lastFrames.empty() && log_->lastFrames.back().Width == width;
      });
    };
    EXPECT_TRUE(widthIs(c.width));
    viewer->SetString(10, RecordingPresenter::kWideText, taCenter, false, clBlack, 0, 8, "");
    EXPECT_TRUE(widthIs(c.wideWidth));
    viewer->SetString(10, "short", taCenter, false, clBlack, 0, 8, "");
    EXPECT_TRUE(widthIs(c.width));
    Finish(viewer);
  }
}

TEST_F(ProgressViewerTest, RequestsResizeAndShowTheButton) {
  TProgressViewer* viewer = Make("x", false, false);
  // Once the window is there: before, the thread only takes the request over.
  ASSERT_TRUE(log_->WaitFor([&] { return log_->frames > 0; }));
  viewer->SetRequestedWidth(100);
  viewer->SetRequestedButtonVisible(true);
  ASSERT_TRUE(log_->WaitFor([&] { return !log_->buttonShows.empty(); }));
  ASSERT_TRUE(log_->WaitFor([&] {
    return !log_->moves.empty() && log_->moves.back().Width == 225 && !log_->lastFrames.empty() &&
           log_->lastFrames.back().Width == 225;
  }));
  std::lock_guard<std::mutex> guard(log_->lock);
  EXPECT_TRUE(log_->buttonShows.front());
  EXPECT_EQ(log_->moves.back().Left, (1280 - 225) / 2);
  EXPECT_TRUE(log_->lastFrames.back().ButtonVisible);
  const TRect button = log_->buttonMoves.back();
  EXPECT_EQ(button, (TRect{225 - 120, log_->moves.back().Height - 30, 225 - 20,
                           log_->moves.back().Height - 5}));
}

TEST_F(ProgressViewerTest, MovingBlockAdvancesTenPerFrame) {
  Make();
  ASSERT_TRUE(log_->WaitFor([&] { return log_->lastFrames.size() >= 3; }));
  std::lock_guard<std::mutex> guard(log_->lock);
  const std::vector<TFrame>& frames = log_->lastFrames;
  for (std::size_t i = 1; i < frames.size(); ++i) {
    double step = frames[i].Position - frames[i - 1].Position;
    EXPECT_TRUE(step == 10 || frames[i].Position == -40) << frames[i].Position;
    EXPECT_EQ(frames[i].Fill.Left, static_cast<int>(frames[i].Position));
    EXPECT_FALSE(frames[i].PercentText.has_value());
    ASSERT_TRUE(frames[i].ElapsedText.has_value());
    EXPECT_EQ(frames[i].ElapsedText->rfind("Общее время: ", 0), 0u);
  }
}

TEST_F(ProgressViewerTest, PercentModeClampsThePosition) {
  TProgressViewer* viewer = Make("x", true);
  viewer->SetPosition(150);
  ASSERT_TRUE(log_->WaitFor([&] {
    return !log_->lastFrames.empty() && log_->lastFrames.back().Position == 100;
  }));
  EXPECT_EQ(viewer->Position(), 100);
  {
    std::lock_guard<std::mutex> guard(log_->lock);
    EXPECT_EQ(*log_->lastFrames.back().PercentText, "100 %");
  }
  viewer->SetPosition(-5);
  ASSERT_TRUE(log_->WaitFor([&] {
    return !log_->lastFrames.empty() && log_->lastFrames.back().PercentText == std::string("0 %");
  }));
  EXPECT_EQ(viewer->Position(), 0);
  viewer->SetPosition(50);
  ASSERT_TRUE(log_->WaitFor([&] {
    return !log_->lastFrames.empty() && log_->lastFrames.back().PercentText == std::string("50 %");
  }));
  std::lock_guard<std::mutex> guard(log_->lock);
  EXPECT_EQ(log_->lastFrames.back().Fill, (TRect{2, 2, 205, 18}));
}

TEST_F(ProgressViewerTest, TerminateReturnsAtOnceAndTheViewerFreesItself) {
  TProgressViewer* viewer = Make();
  ASSERT_TRUE(log_->WaitFor([&] { return log_->frames > 0; }));
  EXPECT_EQ(TProgressViewer::FindViewerByWindow(0x1000), viewer);
  Finish(viewer);
  std::lock_guard<std::mutex> guard(log_->lock);
  EXPECT_EQ(log_->windowsClosed, 1);
  EXPECT_TRUE(log_->presenterGone);
  EXPECT_EQ(TProgressViewer::FindViewerByWindow(0x1000), nullptr);
}

TEST_F(ProgressViewerTest, TerminateBeforeTheThreadRuns) {
  log_->holdCreate = true;  // the thread stops inside window creation until released
  TProgressViewer* viewer = Make();
  made_.clear();
  viewer->Terminate();
  log_->ReleaseCreate();
  ASSERT_TRUE(WaitFreed(viewer));
  std::lock_guard<std::mutex> guard(log_->lock);
  EXPECT_EQ(log_->windowsCreated, 1);  // still shown ...
  EXPECT_EQ(log_->frames, 0);          // ... but no frame painted
  EXPECT_EQ(log_->windowsClosed, 1);
  EXPECT_TRUE(log_->presenterGone);
}

TEST_F(ProgressViewerTest, TerminateRightAfterConstruction) {
  // No gate: whatever the thread has done by then, it must end cleanly.
  for (int i = 0; i < 20; ++i) {
    auto* viewer = new TProgressViewer("x", i % 2 == 0, i % 3 == 0, nullptr,
                                       std::make_unique<RecordingPresenter>(log_));
    viewer->Terminate();
    ASSERT_TRUE(WaitFreed(viewer));
  }
  std::lock_guard<std::mutex> guard(log_->lock);
  EXPECT_EQ(log_->windowsCreated, 20);
  EXPECT_EQ(log_->windowsClosed, 20);
}

TEST_F(ProgressViewerTest, WithoutAWindowItRunsOnAndStillEnds) {
  auto* viewer = new TProgressViewer("x", false, false, nullptr,
                                     std::make_unique<RecordingPresenter>(log_, 0));
  viewer->SetString(10, "stage", taCenter, false, clDefault, kAllFontStyles, -1, "");
  viewer->Terminate();
  ASSERT_TRUE(WaitFreed(viewer));
  std::lock_guard<std::mutex> guard(log_->lock);
  EXPECT_EQ(log_->frames, 0);
  EXPECT_EQ(log_->windowsClosed, 0);
}

TEST_F(ProgressViewerTest, WorkProcedureRunsOnceBesideTheViewer) {
  std::atomic<int> runs{0};
  std::atomic<bool> sawViewer{false};
  TProgressViewer* viewer = nullptr;
  std::mutex lock;
  std::condition_variable ran;
  viewer = Make("x", false, false, [&](TProgressViewer& v) {
    // The work thread may change lines while the viewer draws.
    v.SetString(10, "from work", taCenter, false, clDefault, kAllFontStyles, -1, "");
    sawViewer = true;
    std::lock_guard<std::mutex> guard(lock);
    ++runs;
    ran.notify_all();
  });
  {
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(ran.wait_for(guard, std::chrono::seconds(10), [&] { return runs > 0; }));
  }
  EXPECT_TRUE(sawViewer);
  EXPECT_EQ(Line(viewer->Strings(), 10)->Text, "from work");
  Finish(viewer);
  EXPECT_EQ(runs, 1);
}

// The work procedure holds the viewer: a viewer terminated while its procedure still
// runs is freed only after the procedure has returned.
TEST_F(ProgressViewerTest, ViewerOutlivesItsRunningWorkProcedure) {
  std::atomic<bool> started{false}, returned{false};
  TProgressViewer* viewer = Make("x", false, false, [&](TProgressViewer& v) {
    started = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    v.SetString(10, "late", taCenter, false, clDefault, kAllFontStyles, -1, "");
    returned = true;
  });
  ASSERT_TRUE(log_->WaitFor([&] { return started.load(); }));
  Finish(viewer);
  EXPECT_TRUE(returned);
}

TEST_F(ProgressViewerTest, FailingWorkProcedureAndCancelHandlerAreSwallowed) {
  TProgressViewer* viewer =
      Make("x", false, true, [](TProgressViewer&) { throw std::runtime_error("work failed"); });
  int calls = 0;
  viewer->SetOnCancel([&](TProgressViewer&) {
    ++calls;
    throw EProgressException("handler failed");
  });
  EXPECT_FALSE(viewer->Cancelled());
  viewer->RequestCancel();
  EXPECT_TRUE(viewer->Cancelled());
  EXPECT_EQ(calls, 1);
  ASSERT_TRUE(log_->WaitFor([&] { return log_->frames > 2; }));  // the viewer goes on
}
