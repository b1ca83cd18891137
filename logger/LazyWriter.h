// The deferred writer: one thread for the whole module that formats the queued
// messages of every deferred logger and writes them in batches, one file open per
// batch and logger, keeping each logger's call order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logger/QLXLogger.h"

class TLazyWriteThread {
 public:
  static constexpr int kWaitMs = 5000;             // a pass at least this often
  static constexpr std::size_t kBufferSize = 1049600;
  static constexpr std::size_t kBatchThreshold = 1048576;

  TLazyWriteThread();
  // Ends the thread after its last pass and waits for it (unless called on the
  // thread itself, when it frees itself).
  ~TLazyWriteThread();
  TLazyWriteThread(const TLazyWriteThread&) = delete;
  TLazyWriteThread& operator=(const TLazyWriteThread&) = delete;

  void Enqueue(TQLXLogger* logger, TLogLevel level, TDateTime time, const std::string& text);
  void Wake();
  // One pass of writing; run by the writer thread.
  void Flush();
  void Terminate();
  // Asks the thread to end and wakes it, as one step.
  void Stop();
  std::uint32_t ThreadId() const { return threadId_.load(); }
  // Messages waiting for the next pass.
  std::size_t QueueLength() const;

  // On: the object deletes itself when its thread ends.
  std::atomic<bool> FreeOnTerminate{true};

 private:
  void Execute();
  bool WaitForWake(int timeoutMs);

  std::mutex eventLock_;
  std::condition_variable eventSignal_;
  bool signaled_ = false;  // the auto-reset wake event
  std::vector<TLogMessageRec> queue_;
  std::atomic<std::uint32_t> threadId_{0};
  std::atomic<bool> terminated_{false};
  std::thread thread_;
};

// The single writer of the module, or none.
extern std::atomic<TLazyWriteThread*> LazyWriter;
// Called by the writer thread after every pass; set by nothing in this program.
extern void (*WriterIdleHook)();
// Set at module shutdown: from then on every Log writes at once.
extern std::atomic<bool> DeferredDisabled;

void EnsureWriter();
void StopWriter(bool inLibrary);

// The lock of the queue, which also guards every logger's pending count.
std::mutex& QueueLock();
// Waits until `logger` has no queued messages left.
void WaitUntilWritten(TQLXLogger* logger);

// Module state of the writer, made and freed by the module's start-up and shutdown.
void CreateWriterCreationLock();
void FreeWriterCreationLock();
