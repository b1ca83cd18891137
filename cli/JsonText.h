// What the console program writes as JSON: the outcome of a rebuild on stdout, and
// the progress events on stderr.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "maintenance/JobProgress.h"
#include "maintenance/Workflow.h"
#include "support/Exceptions.h"

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

// One object for a chain's monitoring; figures not known are null, and so is the
// reason of a success. Ends in a line feed.
//   {"outcome":"failure","reason":"busy","message":"...","database":"...",...}
std::string JsonReport(bool success, const std::string& message, const TRebuildReport& report,
                       TFailureReason reason = TFailureReason::kUnset);

// One line for stderr beside the progress events: {"failure":"busy","message":"..."},
// {"notice":"recovery","message":"..."}. Ends in a line feed.
std::string JsonNotice(const char* kind, const char* token, const std::string& message);

// {"stage":"backup","done":2,"total":6}: tables for the backup, records for the
// restore. Ends in a line feed.
std::string JsonProgressEvent(const TJobProgressState& state);

// Writes the progress events of a rebuild: at most one a second, only when the
// figures changed, and the last figures of each stage (so a stage's events end at
// its total).
class TJsonProgressEvents {
 public:
  using Clock = std::chrono::steady_clock;

  explicit TJsonProgressEvents(std::function<void(const std::string&)> write)
      : write_(std::move(write)) {}

  void Offer(const TJobProgressState& state, Clock::time_point now = Clock::now());
  // Writes the figures held back, if any.
  void Flush();

 private:
  void Write(const TJobProgressState& state, Clock::time_point now);

  std::function<void(const std::string&)> write_;
  std::string lastEvent_;
  Clock::time_point lastTime_{};
  bool pending_ = false;
  TJobProgressState pendingState_;
};
