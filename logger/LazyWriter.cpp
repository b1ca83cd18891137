#include "logger/LazyWriter.h"

#include <chrono>
#include <utility>
#include <vector>

#include "platform/Process.h"

std::atomic<TLazyWriteThread*> LazyWriter{nullptr};
void (*WriterIdleHook)() = nullptr;
std::atomic<bool> DeferredDisabled{false};

namespace {

std::unique_ptr<std::mutex> creationLock;
std::condition_variable pendingChanged;  // with QueueLock(): some pending count went down

}  // namespace

std::mutex& QueueLock() {
  static std::mutex lock;
  return lock;
}

void CreateWriterCreationLock() { creationLock = std::make_unique<std::mutex>(); }
void FreeWriterCreationLock() { creationLock.reset(); }

TLazyWriteThread::TLazyWriteThread() { thread_ = std::thread([this] { Execute(); }); }

TLazyWriteThread::~TLazyWriteThread() {
  Stop();
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    else thread_.join();
  }
  // Messages that no pass took (a pass that failed early) are dropped but counted off,
  // so no logger waits for them for ever.
  std::lock_guard<std::mutex> lock(QueueLock());
  for (auto& rec : queue_) rec.Logger->pendingCount_--;
  queue_.clear();
  pendingChanged.notify_all();
  if (FreeOnTerminate) {
    TLazyWriteThread* self = this;
    LazyWriter.compare_exchange_strong(self, nullptr);
  }
}

std::size_t TLazyWriteThread::QueueLength() const {
  std::lock_guard<std::mutex> lock(QueueLock());
  return queue_.size();
}

void TLazyWriteThread::Terminate() { terminated_ = true; }

void TLazyWriteThread::Wake() {
  std::lock_guard<std::mutex> lock(eventLock_);
  signaled_ = true;
  eventSignal_.notify_one();
}

void TLazyWriteThread::Stop() {
  // One step under the event's lock: a self-freeing writer takes that lock before it
  // goes, so it cannot vanish between the end request and the wake-up.
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

void TLazyWriteThread::Enqueue(TQLXLogger* logger, TLogLevel level, TDateTime time,
                               const std::string& text) {
  TLogMessageRec rec;
  rec.Logger = logger;
  rec.Time = time != 0 ? time : Now();
  rec.Level = level;
  rec.Text = text;
  rec.ThreadId = CallingThreadId();
  bool wasEmpty;
  {
    std::lock_guard<std::mutex> lock(QueueLock());
    wasEmpty = queue_.empty();
    queue_.push_back(std::move(rec));
    logger->pendingCount_++;
  }
  // A queue that held messages already has a wake-up on its way (or a pass running
  // that takes them), so only the first message of a pass needs to signal.
  if (wasEmpty) Wake();
}

void TLazyWriteThread::Execute() {
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
  // The last pass: whatever was queued up to the end request is written.
  try {
    Flush();
  } catch (...) {
  }
  if (FreeOnTerminate) {
    { std::lock_guard<std::mutex> barrier(eventLock_); }  // a Stop in progress has finished
    delete this;
  }
}

void TLazyWriteThread::Flush() {
  std::vector<TLogMessageRec> batch;
  {
    std::lock_guard<std::mutex> lock(QueueLock());
    if (queue_.empty()) return;
    batch.swap(queue_);
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

void EnsureWriter() {
  if (LazyWriter.load() != nullptr) return;
  if (!creationLock) return;  // the module is not started: write at once
  std::lock_guard<std::mutex> lock(*creationLock);
  if (LazyWriter.load() == nullptr) LazyWriter = new TLazyWriteThread();
}

void StopWriter(bool inLibrary) {
  DeferredDisabled = true;
  TLazyWriteThread* writer = LazyWriter.load();
  if (writer == nullptr) return;
  if (!inLibrary) {
    writer->FreeOnTerminate = false;
    delete writer;  // ends the thread after its last pass
    LazyWriter = nullptr;
    return;
  }
  // In a library being unloaded a thread may not be waited for: ask it to end and
  // watch for the self-freeing writer to go.
  writer->Stop();  // the writer may be gone right after this returns
  while (LazyWriter.load() != nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void WaitUntilWritten(TQLXLogger* logger) {
  std::unique_lock<std::mutex> lock(QueueLock());
  while (logger->pendingCount_ > 0) {
    if (TLazyWriteThread* writer = LazyWriter.load()) writer->Wake();
    pendingChanged.wait_for(lock, std::chrono::milliseconds(5));
  }
}
