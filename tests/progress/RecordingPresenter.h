// A presenter that draws nothing and records what the viewer thread asks of it, in a
// log that outlives the viewer (the viewer frees its presenter with itself).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "progress/ProgressPresenter.h"

struct PresenterLog {
  std::mutex lock;
  std::condition_variable changed;
  int windowsCreated = 0;
  int windowsClosed = 0;
  int frames = 0;
  bool presenterGone = false;
  std::vector<TWindowPlace> moves;        // MoveWindow calls
  std::vector<TRect> buttonMoves;         // MoveButton calls
  std::vector<bool> buttonShows;          // ShowButton calls
  std::vector<TStringInfo> lastBlock;     // lines of the last DrawTextBlock
  std::vector<TFrame> lastFrames;         // the latest frames, newest last
  // When set, CreateProgressWindow waits until it is opened (see Gate).
  bool holdCreate = false;
  bool createReleased = false;

  // Waits until `done` holds (checked under the lock) or the deadline passes.
  bool WaitFor(const std::function<bool()>& done,
               std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, deadline, done);
  }
  void ReleaseCreate() {
    std::lock_guard<std::mutex> guard(lock);
    createReleased = true;
    changed.notify_all();
  }
};

class RecordingPresenter final : public TProgressPresenter {
 public:
  static constexpr int kLineHeight = 13;
  static inline const TRect kWorkArea{0, 0, 1280, 994};
  // Lines are 100 pixels wide, except this text, which needs 600.
  static inline const std::string kWideText = "wide";

  explicit RecordingPresenter(std::shared_ptr<PresenterLog> log, TWindowHandle window = 0x1000,
                              int pixelsPerInch = 96)
      : log_(std::move(log)), window_(window), pixelsPerInch_(pixelsPerInch) {}
  ~RecordingPresenter() override { Note([](PresenterLog& l) { l.presenterGone = true; }); }

  TRect WorkArea() override { return kWorkArea; }
  int PixelsPerInch() override { return pixelsPerInch_; }

  TWindowHandles CreateProgressWindow(TProgressViewer&, const TWindowPlace&, bool) override {
    {
      std::unique_lock<std::mutex> guard(log_->lock);
      log_->changed.wait(guard, [this] { return !log_->holdCreate || log_->createReleased; });
    }
    Note([](PresenterLog& l) { ++l.windowsCreated; });
    return TWindowHandles{window_, window_ == 0 ? 0 : window_ + 1};
  }
  void CloseProgressWindow() override { Note([](PresenterLog& l) { ++l.windowsClosed; }); }
  void PumpMessages() override {}
  void RefreshButton() override {}
  void MoveWindow(const TWindowPlace& place) override {
    Note([&](PresenterLog& l) { l.moves.push_back(place); });
  }
  void MoveButton(const TRect& rect, bool) override {
    Note([&](PresenterLog& l) { l.buttonMoves.push_back(rect); });
  }
  void ShowButton(bool visible) override {
    Note([&](PresenterLog& l) { l.buttonShows.push_back(visible); });
  }
  // Every line is kLineHeight high; a wrapped one twice that.
  TLineExtent MeasureLine(const TStringInfo& line, int) override {
    return TLineExtent{line.Text == kWideText ? 600 : 100,
                       line.WordWrap ? 2 * kLineHeight : kLineHeight};
  }
  void DrawTextBlock(const std::vector<TStringInfo>& lines, int, int, TColor) override {
    Note([&](PresenterLog& l) { l.lastBlock = lines; });
  }
  void ComposeBackground(int, int) override {}
  void PaintFrame(TProgressViewer*, const TFrame& frame) override {
    Note([&](PresenterLog& l) {
      ++l.frames;
      l.lastFrames.push_back(frame);
      if (l.lastFrames.size() > 64) l.lastFrames.erase(l.lastFrames.begin());
    });
  }

 private:
  template <class F>
  void Note(F change) {
    std::lock_guard<std::mutex> guard(log_->lock);
    change(*log_);
    log_->changed.notify_all();
  }

  std::shared_ptr<PresenterLog> log_;
  TWindowHandle window_;
  int pixelsPerInch_;
};
