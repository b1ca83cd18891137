// The progress viewer: a small always-on-top window with text lines, a moving bar and
// the elapsed time, kept alive by its own thread while the owner's thread is busy in
// a long blocking operation.
//
// The owner creates a viewer with `new`, adds or changes lines, and finally calls
// Terminate. From then on the viewer belongs to its thread: the thread closes the
// window and frees the object, and the owner must not touch it again. The unit joins
// the ended threads (WaitForViewersToEnd, ProgressViewerShutdown).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "progress/ProgressPresenter.h"
#include "progress/ProgressTypes.h"
#include "support/Exceptions.h"

class TProgressViewer;

using TProgressWorkProc = std::function<void(TProgressViewer&)>;
using TProgressCancelEvent = std::function<void(TProgressViewer&)>;

// Settings of the unit; any code may change them, a viewer reads each when it needs it.
extern std::string ProgressAppTitle;         // line -1 of each new viewer
extern bool ProgressShowPercent;             // percent text on the bar in percent mode
extern std::int32_t ProgressFrameDelay;      // ms the viewer thread pauses after a frame
extern bool ProgressShowTotalTime;           // the elapsed-time text
extern TColor ProgressBarColor;
extern std::string ProgressCancelCaption;
extern std::string ProgressWaitText1;        // line 1001
extern std::string ProgressWaitText2;        // line 1002
extern std::string ProgressTotalTimeFormat;  // "%s" takes the elapsed time
extern std::string ProgressDefaultFontName;
extern TColor ProgressDefaultColor;
extern std::int32_t ProgressDefaultFontSize;
extern TFontStyles ProgressDefaultFontStyle;
// Resolution the progress window is made for, in pixels per inch; 0: the screen's.
// The window's width (450 at 96) and its fonts follow it.
extern std::int32_t ProgressPixelsPerInch;

// Which presenter new viewers get (MakeDefaultPresenter unless changed).
extern TProgressPresenterFactory ProgressPresenterFactory;

// Rows about the owner's work that every viewer shows under the owner's lines, from
// the key kStatusFirstKey on: asked for on the viewer thread every kStatusInterval and
// set with SetString where they changed, so they move on while the owner's thread is
// blocked. Empty by default; set it before any viewer exists.
using TProgressStatusSource = std::function<std::vector<std::string>()>;
extern TProgressStatusSource ProgressStatusSource;
constexpr std::int32_t kStatusFirstKey = 500;
constexpr std::chrono::milliseconds kStatusInterval{250};

// Set once the window class is registered (at start-up); viewers refuse to exist without.
extern bool ViewerClassRegistered;

// The progress windows and their viewers: entry i of Viewers owns window i. Both are
// read and changed only under ViewerWindows.Lock.
struct TViewerWindowList {
  std::mutex Lock;
  std::vector<TWindowHandle> Items;
};
extern TViewerWindowList ViewerWindows;
extern std::vector<TProgressViewer*> Viewers;

// Registers the progress window class; true when it is registered (also when it was
// already). Runs at start-up; the application may call it again, harmlessly.
bool RegisterViewerClass();

// Waits up to `limit` until every viewer has closed its window and ended (a
// terminated viewer does so within about one frame), and joins their threads; true
// when none is left. For an owner that must not show anything while a progress
// window, always on top, may still cover it.
bool WaitForViewersToEnd(std::chrono::milliseconds limit);

// Unit shut-down: terminates every viewer still running and joins every viewer
// thread, waiting up to `limit`; true when none is left. Programs call it before they
// end (the unit calls it again as it goes); no viewer thread may still be running
// while the process ends.
bool ProgressViewerShutdown(std::chrono::milliseconds limit = std::chrono::seconds(5));

// Texts of the viewer's failures, by their ids 65520-65522 (from the program's string
// table on Windows).
constexpr int kMsgClassNotRegistered = 65520;
constexpr int kMsgLineNotFound = 65521;
constexpr int kMsgParamCountMismatch = 65522;
std::string LoadProgressMessage(int id);
// The same texts as compiled into the program.
std::string CompiledProgressMessage(int id);

// Observation points for tests and benchmarks; called on the viewer thread.
using TViewerHook = void (*)(TProgressViewer* viewer);
// After each painted frame.
extern std::atomic<TViewerHook> ProgressFrameHook;
// After the viewer has freed itself; the pointer must not be followed.
extern std::atomic<TViewerHook> ProgressFreedHook;

class TAdditionalThread;
struct TViewerThread;

class TProgressViewer final {
 public:
  // Starts the viewer thread at once. Raises EProgressException when the window class
  // is not registered. `presenter` defaults to one from ProgressPresenterFactory.
  TProgressViewer(const std::string& caption, bool percentMode, bool showCancelButton,
                  TProgressWorkProc workProc = nullptr,
                  std::unique_ptr<TProgressPresenter> presenter = nullptr);

  TProgressViewer(const TProgressViewer&) = delete;
  TProgressViewer& operator=(const TProgressViewer&) = delete;

  // Adds the line `key`, or replaces all its parameters. clDefault, size -1, style 15
  // and an empty font name each take the viewer's default, then the unit's.
  void SetString(std::int32_t key, const std::string& text, std::uint8_t alignment,
                 bool wordWrap, TColor color, TFontStyles fontStyle, std::int32_t fontSize,
                 const std::string& fontName);
  // Text of line 0.
  void SetCaption(const std::string& text);
  // Changes only the named parameters of an existing line; values[k] is for params[k].
  void ChangeStringParams(std::int32_t key, const std::vector<TStringParam>& params,
                          const std::vector<TVariant>& values);

  // Asks the thread to close the window and free the viewer; returns at once. The
  // viewer must not be touched afterwards.
  void Terminate() noexcept { terminated_.store(true); }

  // Esc or the cancel button: sets Cancelled and calls OnCancel (its failures are
  // swallowed). Runs on the viewer thread.
  void RequestCancel() noexcept;
  bool Cancelled() const noexcept { return cancelled_.load(); }
  void SetOnCancel(TProgressCancelEvent handler);

  // Requests the viewer thread applies at its next pass.
  void SetRequestedWidth(std::int32_t width);
  void SetRequestedButtonVisible(bool visible);

  // Percent mode: the completed percentage (kept within 0..100 by the painter).
  void SetPosition(double position) noexcept { position_.store(position); }
  double Position() const noexcept { return position_.load(); }
  bool PercentMode() const noexcept { return percentMode_; }

  // Per-viewer defaults; clDefault, -1, 15 and "" leave the unit's in force.
  void SetDefaults(TColor color, std::int32_t fontSize, TFontStyles fontStyle,
                   const std::string& fontName);

  // A copy of the lines, in key order.
  std::vector<TStringInfo> Strings() const;
  TWindowHandle WindowHandle() const noexcept { return windowHandle_.load(); }
  TWindowHandle ButtonHandle() const noexcept { return buttonHandle_.load(); }

  TProgressPresenter& Presenter() noexcept { return *presenter_; }

  // The viewer that owns a progress window, or nullptr.
  static TProgressViewer* FindViewerByWindow(TWindowHandle window);

 private:
  ~TProgressViewer();  // only the viewer thread frees a viewer
  static void ThreadMain(TProgressViewer* viewer, std::shared_ptr<TViewerThread> thread) noexcept;

  void Execute();
  int IndexOfKey(std::int32_t key) const;
  void SortStrings();
  void RegisterWindow();
  void UnregisterWindow();

  void ShowStatusRows();
  void ApplyRequests();
  void CreateProgressWindow();
  void PumpMessages();
  void RefreshButton();
  void SetWindowSize(int width, int height);
  void LayoutStrings();
  void ComposeBackground();
  void PaintFrame();

  std::atomic<bool> terminated_{false};
  std::atomic<double> position_{0};
  bool percentMode_;
  int windowLeft_ = 0;
  int windowTop_ = 0;
  std::unique_ptr<TProgressPresenter> presenter_;
  std::atomic<TWindowHandle> windowHandle_{0};
  std::atomic<TWindowHandle> buttonHandle_{0};
  std::chrono::steady_clock::time_point startTime_;
  std::unique_ptr<TAdditionalThread> workThread_;  // started and joined by the viewer thread
  mutable std::recursive_mutex stringsLock_;
  std::recursive_mutex requestLock_;
  std::vector<TStringInfo> strings_;
  std::vector<std::string> statusRows_;  // shown from kStatusFirstKey on; viewer thread only
  std::chrono::steady_clock::time_point statusShown_;
  bool layoutValid_ = false;
  int windowWidth_;
  int windowHeight_;
  std::int32_t requestedWidth_;
  std::int32_t appliedWidth_;  // the requested width last applied; lines may need more
  bool requestedButtonVisible_;
  std::atomic<bool> cancelled_{false};
  bool buttonVisible_;
  TColor backgroundColor_ = clBtnFace;
  TProgressCancelEvent onCancel_;
  TColor defaultColor_ = clDefault;
  std::int32_t defaultFontSize_ = -1;
  TFontStyles defaultFontStyle_ = kAllFontStyles;
  std::string defaultFontName_;
};

// Runs a work procedure beside the viewer: once, then idles until the viewer asks it
// to end. The viewer's thread starts it and joins it before the viewer goes.
class TAdditionalThread final {
 public:
  TAdditionalThread(TProgressViewer& viewer, TProgressWorkProc workProc);
  ~TAdditionalThread();  // ends and joins the thread
  TAdditionalThread(const TAdditionalThread&) = delete;
  TAdditionalThread& operator=(const TAdditionalThread&) = delete;

  void Start();
  // Asks the thread to end once its procedure has returned; returns at once.
  void Terminate() noexcept;
  // Waits for the thread to end (its procedure to return, then Terminate).
  void Join();

 private:
  void Execute();

  TProgressViewer& viewer_;
  TProgressWorkProc workProc_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool terminated_ = false;
  std::thread thread_;
};
