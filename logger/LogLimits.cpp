// Size and age limits of a log file: in-place cuts and numbered archives.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "logger/QLXLogger.h"
#include "platform/Process.h"
#include "support/Exceptions.h"

namespace {

constexpr std::int64_t kCutScanStep = 255;
constexpr std::int64_t kCutSlack = 255;  // an in-place file may exceed MaxSize by this much
constexpr std::size_t kAgeBlock = 32768;
constexpr std::size_t kCopyChunk = 65536;

// Deletes the temporary file of a cut on every way out.
class TempFileGuard {
 public:
  explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
  ~TempFileGuard() {
    file.Close();
    platform::RemoveFile(path_);
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  platform::File file;

 private:
  std::string path_;
};

void CopyRange(platform::File& from, std::int64_t position, std::int64_t count,
               platform::File& to) {
  std::vector<char> buffer(kCopyChunk);
  from.Seek(position);
  while (count > 0) {
    std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(count, kCopyChunk));
    std::size_t got = from.Read(buffer.data(), want);
    if (got == 0) throw Exception("Unexpected end of file while copying the log");
    to.Write(buffer.data(), got);
    count -= static_cast<std::int64_t>(got);
  }
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

bool IsLevelMark(char c) { return c != '\0' && std::memchr(LevelMarks, c, 8) != nullptr; }

}  // namespace

long long ArchiveNumberOf(const std::string& tail) {
  std::string digits = (!tail.empty() && tail[0] == '.') ? tail.substr(1) : tail;
  if (digits.empty() || digits.size() > 18) return -1;
  long long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string TQLXLogger::ArchiveName(long long number) const {
  char suffix[32];
  if (ArchiveNumberStyle == 0) std::snprintf(suffix, sizeof suffix, "%03lld", number);
  else std::snprintf(suffix, sizeof suffix, ".%lld", number);
  return fileName_ + suffix;
}

// Keeps the bytes from `keepFrom` to the end and moves them to the start of the file,
// through a temporary file beside the log.
void TQLXLogger::TruncateKeeping(platform::File& file, std::int64_t keepFrom) {
  std::int64_t size = file.Size();
  std::int64_t kept = size - keepFrom;
  std::string tempName = fileName_ + "_" + std::to_string(platform::CurrentProcessId()) + "_" +
                         std::to_string(platform::CurrentThreadId());
  // A file of this name can only be left over by a dead writer with our ids.
  platform::RemoveFile(tempName);
  TempFileGuard temp(tempName);
  temp.file = platform::File::Open(tempName, platform::FileOpenMode::kCreateExclusive,
                                   platform::FileShare::kExclusive);
  CopyRange(file, keepFrom, kept, temp.file);
  // The log is open for appending: empty it, then the kept part goes in from the start.
  file.Truncate(0);
  file.Seek(0);
  CopyRange(temp.file, 0, kept, file);
}

void TQLXLogger::TrimBySize(platform::File& file) {
  if (!TruncateInPlace) {
    file.Close();
    RotateFiles();
    return;
  }
  std::int64_t size = file.Size();
  if (size <= MaxSize + kCutSlack) return;
  // The cut keeps the line that holds the byte at size - MaxSize: look back for
  // the nearest line break before that byte.
  std::int64_t cut = size - MaxSize;
  std::int64_t position = cut;
  std::int64_t passed = 0;
  bool found = false;
  char block[kCutScanStep];
  while (!found && position >= kCutScanStep) {
    position -= kCutScanStep;
    file.Seek(position);
    std::size_t got = 0;
    while (got < sizeof block) {
      std::size_t n = file.Read(block + got, sizeof block - got);
      if (n == 0) throw Exception("Unexpected end of file while cutting the log");
      got += n;
    }
    for (std::int64_t i = kCutScanStep - 1; i >= 0; --i) {
      if (IsLineBreak(block[i])) {
        found = true;
        break;
      }
      ++passed;
    }
  }
  if (!found) passed = 0;
  TruncateKeeping(file, cut - passed);
}

void TQLXLogger::CollectArchives(std::vector<std::string>& list) const {
  std::string dir = platform::ExtractFilePath(fileName_);
  std::string bare = platform::ExtractFileName(fileName_);
  std::vector<std::pair<long long, std::string>> found;
  for (const std::string& name : platform::ListDirectory(dir, bare)) {
    if (name.size() <= bare.size()) continue;
    if (LowerAscii(name.substr(0, bare.size())) != LowerAscii(bare)) continue;
    // Only a number may follow the log's name: the log itself, the temporary files
    // of in-place cuts ("name_pid_tid") and anything else are never archives.
    long long number = ArchiveNumberOf(name.substr(bare.size()));
    if (number < 0) continue;
    if (!platform::FileExists(dir + name)) continue;
    found.emplace_back(number, dir + name);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& entry : found) list.push_back(std::move(entry.second));
}

void TQLXLogger::ShiftArchives(const std::vector<std::string>& list) const {
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    long long number = ArchiveNumberOf(it->substr(fileName_.size()));
    if (number < 0) continue;
    platform::RenameFile(*it, ArchiveName(number + 1));  // a failure is ignored
  }
}

void TQLXLogger::RotateFiles() {
  std::vector<std::string> list;
  CollectArchives(list);
  if (ArchiveCount > 0) {
    while (list.size() > static_cast<std::size_t>(ArchiveCount)) {
      platform::RemoveFile(list.back());  // a failure is ignored
      list.pop_back();
    }
  }
  ShiftArchives(list);
  platform::RenameFile(fileName_, ArchiveName(0));
}

void TQLXLogger::TrimByAge(platform::File& file) {
  if (MaxAge <= 0) return;
  std::int64_t size = file.Size();
  if (size <= static_cast<std::int64_t>(kAgeBlock)) return;
  TDateTime now = Now();
  if ((now - LastAgeCheck) * 86400.0 <= AgeCheckInterval) return;

  // From here the file is closed and the check time noted on every way out.
  struct CheckDone {
    platform::File& file;
    TDateTime& lastCheck;
    ~CheckDone() {
      file.Close();
      lastCheck = Now();
    }
  } done{file, LastAgeCheck};

  const std::size_t stampLength =
      FormatDateTime(DateTimeFormat, EncodeDateTime(2000, 12, 31, 23, 59, 59, 999),
                     LogFormatSettings)
          .size();
  const double today = std::floor(now);
  std::vector<char> block(kAgeBlock);
  bool havePrevious = false;
  TDateTime previous = 0;

  auto cutAt = [&](std::int64_t keepFrom) {
    if (TruncateInPlace) {
      TruncateKeeping(file, keepFrom);
    } else {
      file.Close();
      RotateFiles();
    }
  };

  // Every entry of the file is looked at, those of its last block too, so a young
  // entry is never cut away: each block goes on where the scan of the one before
  // stopped, and an entry is read in the block whose bytes hold its whole stamp.
  const std::size_t entryRoom = stampLength + 3;  // LF, level mark and blank, stamp
  if (entryRoom >= kAgeBlock) return;
  std::int64_t position = 0;
  while (position < size) {
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(kAgeBlock), size - position));
    file.Seek(position);
    std::size_t got = 0;
    while (got < want) {
      std::size_t n = file.Read(block.data() + got, want - got);
      if (n == 0) throw Exception("Unexpected end of file while reading the log");
      got += n;
    }
    const bool last = position + static_cast<std::int64_t>(got) >= size;
    const std::size_t scanLimit = last ? got : got - entryRoom;
    std::size_t i = 0;
    while (i < scanLimit) {
      if (block[i] != '\n') {
        ++i;
        continue;
      }
      std::size_t entry = i + 1;
      std::size_t stamp = entry;
      if (stamp + 1 < got && IsLevelMark(block[stamp]) && block[stamp + 1] == ' ') stamp += 2;
      i = stamp + stampLength;  // the scan goes on behind the stamp
      if (i > got) break;       // a short last line
      TDateTime when;
      if (!TryStrToDateTime(std::string(block.data() + stamp, stampLength), when,
                            LogFormatSettings))
        continue;
      if (std::floor(when) == 0) when += today;
      if (!havePrevious) {
        if (when + MaxAge + MaxAge / 3 > now) return;  // young enough: nothing to cut
        previous = when;
        havePrevious = true;
        continue;
      }
      bool old = when + MaxAge <= now;
      bool previousOld = previous + MaxAge <= now;
      if (old || !previousOld) {
        previous = when;
        continue;
      }
      cutAt(position + static_cast<std::int64_t>(entry));  // the first young entry stays
      return;
    }
    if (last) break;
    position += static_cast<std::int64_t>(std::max<std::size_t>(i, 1));
  }
  if (havePrevious) {
    if (TruncateInPlace) file.Truncate(0);
    else {
      file.Close();
      RotateFiles();
    }
  }
}
