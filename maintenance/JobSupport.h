// Small helpers the rebuild's workflow and jobs share.
#pragma once

#include <chrono>
#include <string>

#include "platform/FileOps.h"

// Removes a file on every way out while armed; the result is ignored.
class RemoveFileOnExit {
 public:
  RemoveFileOnExit(std::string path, bool armed) : path_(std::move(path)), armed_(armed) {}
  ~RemoveFileOnExit() {
    if (armed_) platform::RemoveFile(path_);
  }
  RemoveFileOnExit(const RemoveFileOnExit&) = delete;
  RemoveFileOnExit& operator=(const RemoveFileOnExit&) = delete;
  void Arm() { armed_ = true; }
  // Removes it now, if armed.
  void RemoveNow() {
    if (armed_) platform::RemoveFile(path_);
    armed_ = false;
  }
  void Disarm() { armed_ = false; }

 private:
  std::string path_;
  bool armed_;
};

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
