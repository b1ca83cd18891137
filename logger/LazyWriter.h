// The deferred writer: one thread for the whole module that formats the queued
// messages of every deferred logger and writes them in batches, one file open per
// batch and logger, keeping each logger's call order.
//
// The queue and the writer's existence are guarded by one lock (QueueLock), so
// queueing, starting and stopping cannot race: once the module stops, no message is
// queued any more, the writer's last pass writes every queued one, and only then do
// the callers go on writing at once.
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
  // Bytes of queued messages beyond which a producer waits, so a stalled writer
  // cannot make the process grow (the pass being written holds at most as much).
  static constexpr std::size_t kMaxPendingBytes = 8u << 20;

  TLazyWriteThread();
  // Ends the thread after its last pass and waits for it (unless called on the
  // thread itself, when it frees itself).
  ~TLazyWriteThread();
  TLazyWriteThread(const TLazyWriteThread&) = delete;
  TLazyWriteThread& operator=(const TLazyWriteThread&) = delete;

  void Wake();
  // One pass of writing; run by the writer thread.
  void Flush();
  // Asks the thread to end and wakes it, as one step.
  void Stop();
  std::uint32_t ThreadId() const { return threadId_.load(); }
  // Messages waiting for the next pass.
  std::size_t QueueLength() const;

  // On: the object deletes itself when its thread ends.
  std::atomic<bool> FreeOnTerminate{true};

 private:
  friend bool Enqueue(TQLXLogger* logger, TLogLevel level, TDateTime time,
                      const std::string& text);
  void Execute();
  bool WaitForWake(int timeoutMs);

  std::mutex eventLock_;
  std::condition_variable eventSignal_;
  bool signaled_ = false;  // the auto-reset wake event
  std::vector<TLogMessageRec> queue_;  // guarded by QueueLock()
  std::atomic<std::uint32_t> threadId_{0};
  std::atomic<bool> terminated_{false};
  std::thread thread_;
};

// The single writer of the module, or none. Changed only under QueueLock().
extern std::atomic<TLazyWriteThread*> LazyWriter;
// Called by the writer thread after every pass; set by nothing in this program.
extern void (*WriterIdleHook)();
// On until module start-up and again from module shutdown: every Log writes at once.
extern std::atomic<bool> DeferredDisabled;

// Queues a message for the writer, starting it on first use, and waits while the
// queue holds kMaxPendingBytes. False once deferred writing has ended; the caller
// then writes at once (after the writer's last pass, so the order is kept).
bool Enqueue(TQLXLogger* logger, TLogLevel level, TDateTime time, const std::string& text);
// True on the writer thread itself, which never waits for its own queue.
bool OnWriterThread();
void StopWriter(bool inLibrary);

// The lock of the queue, which also guards every logger's pending count.
std::mutex& QueueLock();
// Bytes of the messages queued and not yet taken by a pass.
std::size_t PendingBytes();
// Waits until `logger` has no queued messages left.
void WaitUntilWritten(TQLXLogger* logger);
