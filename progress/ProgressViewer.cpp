#include "progress/ProgressViewer.h"

#include <cstdint>

#include <algorithm>
#include <thread>
#include <utility>

#include "progress/ProgressGeometry.h"

using namespace progress;

// ---------------------------------------------------------------------------
// Unit state

std::string ProgressAppTitle = "Ваше приложение";
bool ProgressShowPercent = true;
std::int32_t ProgressFrameDelay = 50;
bool ProgressShowTotalTime = true;
TColor ProgressBarColor = clAqua;
std::string ProgressCancelCaption = "Отмена (Esc)";
std::string ProgressWaitText1 = "Выполняется длительная операция. Она может";
std::string ProgressWaitText2 = "продлиться несколько минут. Пожалуйста, подождите!";
std::string ProgressTotalTimeFormat = "Общее время: %s";
std::string ProgressDefaultFontName = "MS Sans Serif";
TColor ProgressDefaultColor = clBlack;
std::int32_t ProgressDefaultFontSize = 8;
TFontStyles ProgressDefaultFontStyle = 0;
std::int32_t ProgressPixelsPerInch = 0;

TProgressPresenterFactory ProgressPresenterFactory = &MakeDefaultPresenter;
TProgressStatusSource ProgressStatusSource;

bool ViewerClassRegistered = false;
TViewerWindowList ViewerWindows;
std::vector<TProgressViewer*> Viewers;

std::atomic<TViewerHook> ProgressFrameHook{nullptr};
std::atomic<TViewerHook> ProgressFreedHook{nullptr};

// The thread of one viewer. The owner never waits for a viewer, so the unit keeps
// every viewer thread until it is joined: an ended one at the next viewer's start or
// in WaitForViewersToEnd, the rest in ProgressViewerShutdown. None is left running
// while the process ends (Windows would end it wherever it stood, in the heap or in
// a system library holding a lock that the process's own shutdown then needs).
struct TViewerThread {
  std::thread Thread;
  TProgressViewer* Viewer = nullptr;  // until the thread frees it
  bool Ended = false;                 // the viewer is freed; joining no longer waits
};

namespace {

struct TViewerThreadList {
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<std::shared_ptr<TViewerThread>> Items;
};

// Never destroyed: a thread that outlived the shutdown's limit may still reach it.
TViewerThreadList& ViewerThreads() {
  static TViewerThreadList* list = new TViewerThreadList;
  return *list;
}

// Joins the threads whose viewers have ended; the lock is left and taken again.
void JoinEndedThreads(std::unique_lock<std::mutex>& lock) {
  TViewerThreadList& list = ViewerThreads();
  std::vector<std::shared_ptr<TViewerThread>> ended;
  for (auto it = list.Items.begin(); it != list.Items.end();) {
    if ((*it)->Ended) {
      ended.push_back(std::move(*it));
      it = list.Items.erase(it);
    } else {
      ++it;
    }
  }
  if (ended.empty()) return;
  lock.unlock();
  for (auto& entry : ended) entry->Thread.join();
  lock.lock();
}

// Unit start-up and shut-down. Start-up registers the window class once, before
// main runs. Shut-down ends the viewers a program left running, should it not have
// called ProgressViewerShutdown itself.
struct TUnitInitialization {
  TUnitInitialization() { ViewerClassRegistered = RegisterViewerClass(); }
  ~TUnitInitialization() { ProgressViewerShutdown(); }
} unitInitialization;

constexpr const char* kChangeStringParamsPrefix = "TProgressViewer.ChangeStringParams -> ";

}  // namespace

void TProgressPresenter::WaitForNextFrame(std::chrono::milliseconds delay) {
  std::this_thread::sleep_for(delay);
}

// ---------------------------------------------------------------------------
// Construction and lines

TProgressViewer::TProgressViewer(const std::string& caption, bool percentMode,
                                 bool showCancelButton, TProgressWorkProc workProc,
                                 std::unique_ptr<TProgressPresenter> presenter)
    : percentMode_(percentMode),
      presenter_(std::move(presenter)),
      windowWidth_(kInitialWidth),
      windowHeight_(kInitialHeight),
      requestedWidth_(kInitialWidth),
      appliedWidth_(kInitialWidth),
      requestedButtonVisible_(showCancelButton),
      buttonVisible_(showCancelButton) {
  if (!ViewerClassRegistered)
    throw EProgressException(LoadProgressMessage(kMsgClassNotRegistered));
  if (!presenter_) presenter_ = ProgressPresenterFactory();
  // The fonts grow with the screen's resolution, so the width does too.
  windowWidth_ = requestedWidth_ = appliedWidth_ =
      ScaleLength(kInitialWidth, presenter_->PixelsPerInch());

  TWindowPlace place = PlaceWindow(presenter_->WorkArea(), windowWidth_, windowHeight_);
  windowLeft_ = place.Left;
  windowTop_ = place.Top;

  SetCaption(caption.empty() ? std::string(" ") : caption);
  SetString(-1, ProgressAppTitle, taCenter, false, clBlack, fsBold, 12, ProgressDefaultFontName);
  SetString(1000, " ", taCenter, false, clBlack, fsBold, 8, std::string());
  SetString(1001, ProgressWaitText1, taCenter, false, clBlack, fsBold, 10,
            ProgressDefaultFontName);
  SetString(1002, ProgressWaitText2, taCenter, false, clBlack, fsBold, 10,
            ProgressDefaultFontName);

  if (workProc) workThread_ = std::make_unique<TAdditionalThread>(*this, std::move(workProc));

  // Last: from here on the thread may run, and the object must be complete.
  TViewerThreadList& list = ViewerThreads();
  std::unique_lock<std::mutex> lock(list.Lock);
  JoinEndedThreads(lock);
  auto entry = std::make_shared<TViewerThread>();
  entry->Viewer = this;
  list.Items.push_back(entry);
  try {
    entry->Thread = std::thread(&TProgressViewer::ThreadMain, this, entry);
  } catch (...) {
    list.Items.pop_back();
    throw;
  }
}

TProgressViewer::~TProgressViewer() = default;

int TProgressViewer::IndexOfKey(std::int32_t key) const {
  for (std::size_t i = 0; i < strings_.size(); ++i)
    if (strings_[i].Key == key) return static_cast<int>(i);
  return -1;
}

void TProgressViewer::SortStrings() {
  // An exchange sort; the keys are unique, so this is plain ascending order.
  for (std::size_t i = 0; i + 1 < strings_.size(); ++i)
    for (std::size_t j = strings_.size() - 1; j > i; --j)
      if (strings_[i].Key > strings_[j].Key) std::swap(strings_[i], strings_[j]);
}

void TProgressViewer::SetString(std::int32_t key, const std::string& text,
                                std::uint8_t alignment, bool wordWrap, TColor color,
                                TFontStyles fontStyle, std::int32_t fontSize,
                                const std::string& fontName) {
  std::lock_guard<std::recursive_mutex> lock(stringsLock_);
  int index = IndexOfKey(key);
  if (index < 0) {
    strings_.emplace_back();
    index = static_cast<int>(strings_.size()) - 1;
  }
  if (color == clDefault) color = defaultColor_ != clDefault ? defaultColor_ : ProgressDefaultColor;
  if (fontSize == -1) fontSize = defaultFontSize_ != -1 ? defaultFontSize_ : ProgressDefaultFontSize;
  if (fontStyle == kAllFontStyles)
    fontStyle = defaultFontStyle_ != kAllFontStyles ? defaultFontStyle_ : ProgressDefaultFontStyle;
  std::string name = fontName;
  if (name.empty()) name = !defaultFontName_.empty() ? defaultFontName_ : ProgressDefaultFontName;

  TStringInfo& line = strings_[static_cast<std::size_t>(index)];
  line.Key = key;
  line.Text = text;
  line.Alignment = alignment;
  line.WordWrap = wordWrap;
  line.FontName = std::move(name);
  line.FontSize = fontSize;
  line.FontStyle = fontStyle;
  line.Color = color;
  SortStrings();
  layoutValid_ = false;
}

void TProgressViewer::SetCaption(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(stringsLock_);
  if (IndexOfKey(0) < 0)
    SetString(0, text, taCenter, false, clBlack, fsBold, 14, std::string());
  else
    ChangeStringParams(0, {spText}, {text});
}

void TProgressViewer::ChangeStringParams(std::int32_t key, const std::vector<TStringParam>& params,
                                         const std::vector<TVariant>& values) {
  std::lock_guard<std::recursive_mutex> lock(stringsLock_);
  try {
    int index = IndexOfKey(key);
    if (index < 0)
      throw EProgressException(FormatWithNumber(LoadProgressMessage(kMsgLineNotFound), key));
    TStringInfo copy = strings_[static_cast<std::size_t>(index)];
    if (params.size() != values.size())
      throw EProgressException(LoadProgressMessage(kMsgParamCountMismatch));
    for (std::size_t k = 0; k < params.size(); ++k) {
      const TVariant& value = values[k];
      switch (params[k]) {
        case spText:
          copy.Text = VarToStr(value);
          break;
        case spAlignment:
          copy.Alignment = static_cast<std::uint8_t>(VarToInt(value));
          break;
        case spWordWrap:
          copy.WordWrap = VarToBool(value);
          break;
        case spFontName:
          copy.FontName = VarToStr(value);
          break;
        case spFontSize:
          copy.FontSize = static_cast<std::int32_t>(VarToInt(value));
          break;
        case spFontStyle:
          copy.FontStyle = static_cast<TFontStyles>(VarToInt(value));
          break;
        case spColor:
          copy.Color = static_cast<TColor>(VarToInt(value));
          break;
        default:
          break;  // unknown kinds are skipped
      }
    }
    strings_[static_cast<std::size_t>(index)] = std::move(copy);
    layoutValid_ = false;
  } catch (const Exception& e) {
    throw EProgressException(kChangeStringParamsPrefix + e.Message());
  } catch (const std::exception& e) {
    throw EProgressException(kChangeStringParamsPrefix + std::string(e.what()));
  }
}

std::vector<TStringInfo> TProgressViewer::Strings() const {
  std::lock_guard<std::recursive_mutex> lock(stringsLock_);
  return strings_;
}

void TProgressViewer::SetDefaults(TColor color, std::int32_t fontSize, TFontStyles fontStyle,
                                  const std::string& fontName) {
  std::lock_guard<std::recursive_mutex> lock(stringsLock_);
  defaultColor_ = color;
  defaultFontSize_ = fontSize;
  defaultFontStyle_ = fontStyle;
  defaultFontName_ = fontName;
}

// ---------------------------------------------------------------------------
// Requests and cancel

void TProgressViewer::SetRequestedWidth(std::int32_t width) {
  std::lock_guard<std::recursive_mutex> lock(requestLock_);
  requestedWidth_ = width;
}

void TProgressViewer::SetRequestedButtonVisible(bool visible) {
  std::lock_guard<std::recursive_mutex> lock(requestLock_);
  requestedButtonVisible_ = visible;
}

void TProgressViewer::SetOnCancel(TProgressCancelEvent handler) {
  std::lock_guard<std::recursive_mutex> lock(requestLock_);
  onCancel_ = std::move(handler);
}

void TProgressViewer::RequestCancel() noexcept {
  cancelled_.store(true);
  try {
    TProgressCancelEvent handler;
    {
      std::lock_guard<std::recursive_mutex> lock(requestLock_);
      handler = onCancel_;
    }
    if (handler) handler(*this);
  } catch (...) {
    // A failing cancel notification must not take the viewer thread down.
  }
}

// ---------------------------------------------------------------------------
// The registry of windows

void TProgressViewer::RegisterWindow() {
  TWindowHandle window = windowHandle_.load();
  if (window == 0) return;
  std::lock_guard<std::mutex> lock(ViewerWindows.Lock);
  if (std::find(ViewerWindows.Items.begin(), ViewerWindows.Items.end(), window) !=
      ViewerWindows.Items.end())
    return;
  ViewerWindows.Items.push_back(window);
  Viewers.push_back(this);
}

void TProgressViewer::UnregisterWindow() {
  std::lock_guard<std::mutex> lock(ViewerWindows.Lock);
  auto found =
      std::find(ViewerWindows.Items.begin(), ViewerWindows.Items.end(), windowHandle_.load());
  if (found == ViewerWindows.Items.end()) return;
  auto index = found - ViewerWindows.Items.begin();
  ViewerWindows.Items.erase(found);
  Viewers.erase(Viewers.begin() + index);
}

TProgressViewer* TProgressViewer::FindViewerByWindow(TWindowHandle window) {
  std::lock_guard<std::mutex> lock(ViewerWindows.Lock);
  auto found = std::find(ViewerWindows.Items.begin(), ViewerWindows.Items.end(), window);
  if (found == ViewerWindows.Items.end()) return nullptr;
  return Viewers[static_cast<std::size_t>(found - ViewerWindows.Items.begin())];
}

// ---------------------------------------------------------------------------
// The viewer thread

bool WaitForViewersToEnd(std::chrono::milliseconds limit) {
  TViewerThreadList& list = ViewerThreads();
  std::unique_lock<std::mutex> lock(list.Lock);
  auto allEnded = [&] {
    return std::all_of(list.Items.begin(), list.Items.end(),
                       [](const std::shared_ptr<TViewerThread>& entry) { return entry->Ended; });
  };
  bool ended = list.Changed.wait_for(lock, limit, allEnded);
  JoinEndedThreads(lock);
  return ended && list.Items.empty();
}

bool ProgressViewerShutdown(std::chrono::milliseconds limit) {
  TViewerThreadList& list = ViewerThreads();
  {
    std::lock_guard<std::mutex> lock(list.Lock);
    for (auto& entry : list.Items)
      if (entry->Viewer != nullptr) entry->Viewer->Terminate();
  }
  if (WaitForViewersToEnd(limit)) return true;
  // A viewer stuck beyond the limit (a presenter or a work procedure that does not
  // return) cannot be joined; the process ends with it (its thread keeps its entry).
  std::lock_guard<std::mutex> lock(list.Lock);
  for (auto& entry : list.Items) entry->Thread.detach();
  list.Items.clear();
  return false;
}

void TProgressViewer::ThreadMain(TProgressViewer* viewer,
                                 std::shared_ptr<TViewerThread> entry) noexcept {
  try {
    viewer->Execute();
  } catch (...) {
    // Execute has closed the window and stopped the work thread on its way out.
  }
  TViewerThreadList& list = ViewerThreads();
  {
    std::lock_guard<std::mutex> lock(list.Lock);
    entry->Viewer = nullptr;  // the shutdown no longer reaches it
  }
  // The hook gets the address only, as an identity; nothing may follow it now.
  volatile std::uintptr_t address = reinterpret_cast<std::uintptr_t>(viewer);
  delete viewer;
  if (TViewerHook hook = ProgressFreedHook.load()) hook(reinterpret_cast<TProgressViewer*>(address));
  std::lock_guard<std::mutex> lock(list.Lock);
  entry->Ended = true;
  list.Changed.notify_all();
}

void TProgressViewer::Execute() {
  // Whatever way Execute leaves, the window is closed, and the work thread, whose
  // procedure holds this viewer, is told to stop and joined before the viewer goes.
  struct TClosing {
    TProgressViewer& viewer;
    ~TClosing() {
      if (viewer.workThread_) viewer.workThread_->Terminate();
      if (viewer.windowHandle_.load() != 0) {
        viewer.presenter_->CloseProgressWindow();
        viewer.UnregisterWindow();
        viewer.windowHandle_.store(0);
        viewer.buttonHandle_.store(0);
      }
      if (viewer.workThread_) viewer.workThread_->Join();
    }
  } closing{*this};

  ApplyRequests();
  CreateProgressWindow();
  startTime_ = std::chrono::steady_clock::now();
  if (workThread_) workThread_->Start();

  while (!terminated_.load()) {
    ApplyRequests();
    PumpMessages();
    ShowStatusRows();
    {
      std::lock_guard<std::recursive_mutex> lock(stringsLock_);
      if (!layoutValid_) {
        try {
          LayoutStrings();
          ComposeBackground();
        } catch (...) {
          // A bad font or a failed bitmap shows as a blank block; the loop goes on.
        }
        layoutValid_ = true;
      }
    }
    if (windowHandle_.load() != 0) {
      try {
        PaintFrame();
      } catch (...) {
      }
      if (TViewerHook hook = ProgressFrameHook.load()) hook(this);
    }
    RefreshButton();
    presenter_->WaitForNextFrame(
        std::chrono::milliseconds(std::max<std::int32_t>(0, ProgressFrameDelay)));
  }
}

void TProgressViewer::ShowStatusRows() {
  if (!ProgressStatusSource) return;
  // Figures that change at every frame cannot be read; a few times a second can.
  auto now = std::chrono::steady_clock::now();
  if (statusShown_ != std::chrono::steady_clock::time_point() &&
      now - statusShown_ < kStatusInterval)
    return;
  statusShown_ = now;
  std::vector<std::string> rows;
  try {
    rows = ProgressStatusSource();
  } catch (...) {
    return;  // the rows stay as they were
  }
  // A row that goes keeps its place as a blank: the window keeps its height.
  if (rows.size() < statusRows_.size()) rows.resize(statusRows_.size(), " ");
  std::lock_guard<std::recursive_mutex> lock(stringsLock_);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i < statusRows_.size() && statusRows_[i] == rows[i]) continue;
    SetString(kStatusFirstKey + static_cast<std::int32_t>(i), rows[i], taCenter, true, clDefault,
              0, -1, std::string());
  }
  statusRows_ = std::move(rows);
}

void TProgressViewer::ApplyRequests() {
  std::lock_guard<std::recursive_mutex> lock(requestLock_);
  // Compared with the request last applied, not the window: a line that needs more
  // room keeps the window wider than asked (LayoutStrings).
  if (requestedWidth_ != appliedWidth_) {
    appliedWidth_ = requestedWidth_;
    SetWindowSize(requestedWidth_, -1);
  }
  if (requestedButtonVisible_ != buttonVisible_) {
    if (buttonHandle_.load() != 0) presenter_->ShowButton(requestedButtonVisible_);
    buttonVisible_ = requestedButtonVisible_;
  }
}

void TProgressViewer::CreateProgressWindow() {
  TWindowPlace place{windowLeft_, windowTop_, windowWidth_, windowHeight_};
  TWindowHandles handles = presenter_->CreateProgressWindow(*this, place, buttonVisible_);
  if (handles.Window == 0) return;  // runs on without a window
  windowHandle_.store(handles.Window);
  RegisterWindow();
  buttonHandle_.store(handles.Button);
}

void TProgressViewer::PumpMessages() {
  if (windowHandle_.load() != 0) presenter_->PumpMessages();
}

void TProgressViewer::RefreshButton() {
  if (buttonHandle_.load() != 0) presenter_->RefreshButton();
}

void TProgressViewer::SetWindowSize(int width, int height) {
  if (width == -1) width = windowWidth_;
  if (height == -1) height = windowHeight_;
  ClampWindowSize(width, height);
  if (width == windowWidth_ && height == windowHeight_) return;

  TWindowPlace place = PlaceWindow(presenter_->WorkArea(), width, height);
  windowWidth_ = width;
  windowHeight_ = height;
  windowLeft_ = place.Left;
  windowTop_ = place.Top;
  if (windowHandle_.load() != 0) presenter_->MoveWindow(place);
  if (buttonHandle_.load() != 0) presenter_->MoveButton(ButtonRect(width, height), buttonVisible_);

  std::lock_guard<std::recursive_mutex> lock(stringsLock_);
  layoutValid_ = false;
}

void TProgressViewer::LayoutStrings() {
  std::lock_guard<std::recursive_mutex> lock(stringsLock_);
  // The width asked for, or more where a line would not fit: the fonts' real widths
  // differ from machine to machine, and a clipped line is unreadable.
  int asked = appliedWidth_;
  int ignoredHeight = 0;
  ClampWindowSize(asked, ignoredHeight);
  std::vector<TLineExtent> extents;
  int needed = 0;
  for (const TStringInfo& line : strings_) {
    extents.push_back(presenter_->MeasureLine(line, asked - kTextMargin));
    needed = std::max(needed, extents.back().Width);
  }
  int fit = std::max(asked, needed + kTextMargin);
  if (fit != windowWidth_) SetWindowSize(fit, -1);

  // Wrapped lines break anew in a wider block.
  int width = windowWidth_ - kTextMargin;
  int total = 0;
  for (std::size_t i = 0; i < strings_.size(); ++i) {
    TStringInfo& line = strings_[i];
    line.Height = width == asked - kTextMargin ? extents[i].Height
                                               : presenter_->MeasureLine(line, width).Height;
    total += line.Height;
  }
  presenter_->DrawTextBlock(strings_, width, total, backgroundColor_);
  if (total > 0) SetWindowSize(-1, total + kHeightBesideText);
}

void TProgressViewer::ComposeBackground() {
  presenter_->ComposeBackground(windowWidth_, windowHeight_);
}

void TProgressViewer::PaintFrame() {
  TFrame frame;
  frame.Width = windowWidth_;
  frame.Height = windowHeight_;
  frame.Bar = BarRect(windowWidth_, windowHeight_);
  frame.PercentMode = percentMode_;
  int barWidth = frame.Bar.Width();

  double position = position_.load();
  if (!percentMode_) {
    double next = NextBlockPosition(position, barWidth);
    position_.store(next);
    frame.Fill = BlockRect(next, kBarHeight);
    frame.Position = next;
  } else {
    double clamped = ClampPercent(position);
    // The owner may set a new value meanwhile; that one wins over the clamped old one.
    if (clamped != position) position_.compare_exchange_strong(position, clamped);
    frame.Fill = PercentFillRect(clamped, barWidth, kBarHeight);
    frame.Position = clamped;
    if (ProgressShowPercent) frame.PercentText = PercentText(clamped);
  }
  if (ProgressShowTotalTime) {
    auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - startTime_);
    // A duration, the same in every locale: the user's time format would write it
    // as a time of day ("12:00:05 AM").
    frame.ElapsedText =
        FormatWithText(ProgressTotalTimeFormat, FormatElapsedSeconds(elapsed.count()));
  }
  frame.ElapsedTop = windowHeight_ - kTimeFromBottom;
  frame.ButtonVisible = buttonVisible_;
  frame.BarColor = ProgressBarColor;
  presenter_->PaintFrame(this, frame);
}

// ---------------------------------------------------------------------------
// The work thread

TAdditionalThread::TAdditionalThread(TProgressViewer& viewer, TProgressWorkProc workProc)
    : viewer_(viewer), workProc_(std::move(workProc)) {}

TAdditionalThread::~TAdditionalThread() {
  Terminate();
  Join();
}

void TAdditionalThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void TAdditionalThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TAdditionalThread::Terminate() noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  terminated_ = true;
  wake_.notify_all();
}

void TAdditionalThread::Execute() {
  try {
    workProc_(viewer_);
  } catch (...) {
    // A failing work procedure ends its work; the thread still waits for the viewer
    // to ask it to end.
  }
  std::unique_lock<std::mutex> lock(lock_);
  wake_.wait(lock, [this] { return terminated_; });
}
