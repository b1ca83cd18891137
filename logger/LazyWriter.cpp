#include "logger/LazyWriter.h"

#include <chrono>
#include <utility>
#include <vector>

#include "platform/Process.h"

std::atomic<TLazyWriteThread*> LazyWriter{nullptr};
void (*WriterIdleHook)() = nullptr;
std::atomic<bool> DeferredDisabled{true};

namespace {

// All under QueueLock():
std::condition_variable pendingChanged;  // some pending count or byte count went down
std::size_t pendingBytes = 0;
bool writerEnded = true;                 // no writer runs, or its last pass is done

thread_local bool onWriterThread = false;

// What a queued message costs: its text and its record.
std::size_t CostOf(const TLogMessageRec& rec) { return rec.Text.size() + sizeof rec; }

}  // namespace

std::mutex& QueueLock() {
  static std::mutex lock;
  return lock;
}

bool OnWriterThread() { return onWriterThread; }

std::size_t PendingBytes() {
  std::lock_guard<std::mutex> lock(QueueLock());
  return pendingBytes;
}

TLazyWriteThread::TLazyWriteThread() { thread_ = std::thread([this] { Execute(); }); }

TLazyWriteThread::~TLazyWriteThread() {
  Stop();
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    else thread_.join();
  }
}

std::size_t TLazyWriteThread::QueueLength() const {
  std::lock_guard<std::mutex> lock(QueueLock());
  return queue_.size();
}

void TLazyWriteThread::Wake() {
  std::lock_guard<std::mutex> lock(eventLock_);
  signaled_ = true;
  eventSignal_.notify_one();
}

void TLazyWriteThread::Stop() {
  std::lock_guard<std::mutex> lock(eventLock_);
  terminated_ = true;
  signaled_ = true;
  eventSignal_.notify_one();
}

bool TLazyWriteThread::WaitForWake(int timeoutMs) {
  std::unique_lock<std::mutex> lock(eventLock_);
  bool woken = eventSignal_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [this] { return signaled_; });
  signaled_ = false;
  return woken;
}

bool Enqueue(TQLXLogger* logger, TLogLevel level, TDateTime time, const std::string& text) {
  TLogMessageRec rec;
  rec.Logger = logger;
  rec.Time = time != 0 ? time : Now();
  rec.Level = level;
  rec.Text = text;
  rec.ThreadId = CallingThreadId();
  const std::size_t cost = CostOf(rec);

  std::unique_lock<std::mutex> lock(QueueLock());
  // Beyond the bound the producer waits for the writer (one message alone always goes).
  pendingChanged.wait(lock, [&] {
    return DeferredDisabled || pendingBytes == 0 || pendingBytes + cost <= TLazyWriteThread::kMaxPendingBytes;
  });
  if (DeferredDisabled) {
    // Lines written at once must follow the queued ones: wait for the last pass.
    pendingChanged.wait(lock, [] { return writerEnded; });
    return false;
  }
  TLazyWriteThread* writer = LazyWriter.load();
  if (writer == nullptr) {
    writer = new TLazyWriteThread();
    LazyWriter = writer;
    writerEnded = false;
  }
  bool wasEmpty = writer->queue_.empty();
  writer->queue_.push_back(std::move(rec));
  logger->pendingCount_++;
  pendingBytes += cost;
  // A queue that held messages already has a wake-up on its way (or a pass running
  // that takes them), so only the first message of a pass needs to signal. Under
  // the queue lock, so the writer cannot go meanwhile.
  if (wasEmpty) writer->Wake();
  return true;
}

void TLazyWriteThread::Execute() {
  onWriterThread = true;
  threadId_ = platform::CurrentThreadId();
  while (!terminated_) {
    try {
      WaitForWake(kWaitMs);
      Flush();
      if (WriterIdleHook != nullptr) WriterIdleHook();
    } catch (...) {
      // A failed pass is given up; the next one goes on.
    }
  }
  // The last pass: nothing is queued after the end request (deferred writing was
  // switched off first), so this writes every message there is. A second try for a
  // pass that failed early; what still remains is counted off, so nobody waits for it.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      Flush();
    } catch (...) {
    }
  }
  bool freeSelf = FreeOnTerminate;
  {
    std::lock_guard<std::mutex> lock(QueueLock());
    for (auto& rec : queue_) {
      rec.Logger->pendingCount_--;
      pendingBytes -= CostOf(rec);
    }
    queue_.clear();
    writerEnded = true;
    pendingChanged.notify_all();
  }
  if (freeSelf) delete this;
}

void TLazyWriteThread::Flush() {
  std::vector<TLogMessageRec> batch;
  {
    // The producers may fill the queue again while this pass writes: at most two
    // queues' worth of messages are held at any time.
    std::lock_guard<std::mutex> lock(QueueLock());
    if (queue_.empty()) return;
    batch.swap(queue_);
    for (const TLogMessageRec& rec : batch) pendingBytes -= CostOf(rec);
    pendingChanged.notify_all();
  }

  // Loggers of this pass in order of first appearance, with their message counts.
  // The counts go down on every way out of the pass, written or not.
  struct Entry {
    TQLXLogger* logger;
    int messages;
  };
  std::vector<Entry> loggers;
  struct CountOff {
    std::vector<Entry>& loggers;
    std::size_t done = 0;
    ~CountOff() {
      std::lock_guard<std::mutex> lock(QueueLock());
      for (std::size_t i = done; i < loggers.size(); ++i)
        loggers[i].logger->pendingCount_ -= loggers[i].messages;
      pendingChanged.notify_all();
    }
  } countOff{loggers};
  for (const TLogMessageRec& rec : batch) {
    if (!loggers.empty() && loggers.back().logger == rec.Logger) {
      ++loggers.back().messages;
      continue;
    }
    bool known = false;
    for (Entry& e : loggers)
      if (e.logger == rec.Logger) {
        ++e.messages;
        known = true;
        break;
      }
    if (!known) {
      loggers.push_back({rec.Logger, 1});
      rec.Logger->deferredLines_.clear();
    }
  }

  // Each logger's lines, in call order, go into blocks that are closed as soon as
  // they pass the threshold: the batches, each written under one open of the file.
  for (TLogMessageRec& rec : batch) {
    std::vector<std::string>& blocks = rec.Logger->deferredLines_;
    if (blocks.empty() || blocks.back().size() > kBatchThreshold) {
      blocks.emplace_back();
      blocks.back().reserve(kBufferSize);
    }
    AppendLogBytes(blocks.back(), rec.Logger->FormatLine(rec.Text, rec.Level, rec.ThreadId, rec.Time));
    blocks.back() += "\r\n";
    std::string().swap(rec.Text);
  }
  std::vector<TLogMessageRec>().swap(batch);

  for (; countOff.done < loggers.size(); ++countOff.done) {
    TQLXLogger* logger = loggers[countOff.done].logger;
    std::vector<std::string> blocks;
    blocks.swap(logger->deferredLines_);
    for (std::string& block : blocks) {
      logger->WriteEntry(std::string(), 0, 0, 0, &block);
      std::string().swap(block);
    }
    std::lock_guard<std::mutex> lock(QueueLock());
    logger->pendingCount_ -= loggers[countOff.done].messages;
    pendingChanged.notify_all();
  }
}

void StopWriter(bool inLibrary) {
  TLazyWriteThread* writer;
  {
    std::lock_guard<std::mutex> lock(QueueLock());
    DeferredDisabled = true;
    pendingChanged.notify_all();  // waiting producers write at once from now on
    writer = LazyWriter.load();
    if (writer == nullptr) return;
    LazyWriter = nullptr;  // nobody else reaches the writer from here on
    writer->FreeOnTerminate = inLibrary;
    // In a library being unloaded a thread may not be waited for: ask it to end (it
    // cannot go before this lock is left) and watch for its last pass.
    if (inLibrary) writer->Stop();
  }
  if (!inLibrary) {
    delete writer;  // ends the thread after its last pass
    return;
  }
  std::unique_lock<std::mutex> lock(QueueLock());
  pendingChanged.wait(lock, [] { return writerEnded; });
  lock.unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the writer frees itself
}

void WaitUntilWritten(TQLXLogger* logger) {
  std::unique_lock<std::mutex> lock(QueueLock());
  while (logger->pendingCount_ > 0) {
    if (TLazyWriteThread* writer = LazyWriter.load()) writer->Wake();
    pendingChanged.wait_for(lock, std::chrono::milliseconds(5));
  }
}
