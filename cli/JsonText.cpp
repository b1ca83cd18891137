#include "cli/JsonText.h"

#include <cstdio>

#include "maintenance/FailureHints.h"

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string JsonReport(bool success, const std::string& message, const TRebuildReport& report,
                       TFailureReason reason) {
  auto number = [](auto value) { return value < 0 ? std::string("null") : std::to_string(value); };
  auto seconds = [](double value) {
    if (value < 0) return std::string("null");
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return std::string(text);
  };
  return "{\"outcome\":" + JsonString(success ? "success" : "failure") + ",\"reason\":" +
         (success ? std::string("null") : JsonString(ReasonToken(reason))) + ",\"message\":" + JsonString(message) + ",\"database\":" +
         JsonString(report.databasePath) + ",\"sizeBefore\":" + number(report.sizeBefore) +
         ",\"sizeAfter\":" + number(report.sizeAfter) +
         ",\"pageSizeBefore\":" + number(report.pageSizeBefore) +
         ",\"pageSizeAfter\":" + number(report.pageSizeAfter) +
         ",\"backupSeconds\":" + seconds(report.backupSeconds) +
         ",\"restoreSeconds\":" + seconds(report.restoreSeconds) +
         ",\"swapSeconds\":" + seconds(report.swapSeconds) + "}\n";
}

std::string JsonNotice(const char* kind, const char* token, const std::string& message) {
  return "{" + JsonString(kind) + ":" + JsonString(token) + ",\"message\":" + JsonString(message) +
         "}\n";
}

std::string JsonProgressEvent(const TJobProgressState& state) {
  return std::string("{\"stage\":") +
         (state.stage == JobStage::Backup ? "\"backup\"" : "\"restore\"") +
         ",\"done\":" + std::to_string(state.Done()) + ",\"total\":" +
         std::to_string(state.Total()) + "}\n";
}

void TJsonProgressEvents::Write(const TJobProgressState& state, Clock::time_point now) {
  std::string event = JsonProgressEvent(state);
  pending_ = false;
  if (event == lastEvent_) return;
  write_(event);
  lastEvent_ = event;
  lastTime_ = now;
}

void TJsonProgressEvents::Offer(const TJobProgressState& state, Clock::time_point now) {
  if (state.Total() == 0 && !state.dataDone) return;  // nothing to count yet
  if (pending_ && pendingState_.stage != state.stage) Flush();  // the stage's last figures
  pendingState_ = state;
  pending_ = true;
  if (lastEvent_.empty() || now - lastTime_ >= std::chrono::seconds(1)) Write(state, now);
}

void TJsonProgressEvents::Flush() {
  if (pending_) Write(pendingState_, Clock::now());
}
