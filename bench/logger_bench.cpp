// Lines per second of the logger in its modes, and of spdlog's file sink and async
// logger, each writing the same number of lines of about 100 bytes to the same disk.
//
//   qvn_logger_bench [DIRECTORY] [LINES] [deferred]  (defaults: /tmp/qvn_bench, 1000000;
//                                                   "deferred": that mode alone, for profiling)
#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "logger/QLXLogger.h"
#include "platform/ChildProcess.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace {

// 76 bytes of text; with the 23-byte stamp and the blank the line has 100 bytes + CR LF.
std::string Message(long i) {
  char text[96];
  std::snprintf(text, sizeof text, "benchmark line %09ld abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLM", i);
  return text;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Clean(const std::string& path) {
  platform::RemoveFile(path);
  for (const std::string& name : platform::ListDirectory(platform::ExtractFilePath(path),
                                                         platform::ExtractFileName(path)))
    platform::RemoveFile(platform::ExtractFilePath(path) + name);
}

void WriteImmediate(const std::string& path, long first, long count) {
  TQLXLogger logger(path);
  logger.MaxSize = 0;
  for (long i = first; i < first + count; ++i) logger.Log(Message(i));
}

void WriteLogger(const std::string& path, long lines, int threads, bool deferred) {
  TQLXLogger logger(path);
  logger.MaxSize = 0;
  logger.Deferred = deferred;
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      long share = lines / threads;
      for (long i = t * share; i < (t + 1) * share; ++i) logger.Log(Message(i));
    });
  for (auto& th : pool) th.join();
}  // the destructor waits until the deferred lines are on disk

struct Result {
  const char* name;
  double linesPerSecond;
};

void Report(std::vector<Result>& results, const char* name, long lines, double seconds,
            const std::string& path) {
  long long size = platform::FileSizeOf(path).value_or(-1);
  std::printf("%-44s %10.0f lines/s  (%.2f s, %lld bytes)\n", name, lines / seconds, seconds, size);
  std::fflush(stdout);
  results.push_back({name, lines / seconds});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "child") {  // one of the writer processes
    QLXLoggerStartup();
    WriteImmediate(argv[2], std::atol(argv[3]), std::atol(argv[4]));
    QLXLoggerShutdown();
    return 0;
  }
  std::string dir = argc > 1 ? argv[1] : "/tmp/qvn_bench";
  long lines = argc > 2 ? std::atol(argv[2]) : 1000000;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  platform::CreateDirectories(dir.substr(0, dir.size() - 1));
  QLXLoggerStartup();
  std::printf("%ld lines of %zu bytes each in %s\n", lines, Message(0).size() + 26, dir.c_str());
  std::vector<Result> results;
  const std::string path = dir + "bench.log";
  if (argc > 3 && std::string(argv[3]) == "deferred") {  // for profiling this mode alone
    Clean(path);
    auto start = std::chrono::steady_clock::now();
    WriteLogger(path, lines, 1, true);
    Report(results, "QLXLogger deferred, 1 thread", lines, Seconds(start), path);
    QLXLoggerShutdown();
    return 0;
  }

  Clean(path);
  auto start = std::chrono::steady_clock::now();
  WriteLogger(path, lines, 1, false);
  Report(results, "QLXLogger immediate, 1 thread", lines, Seconds(start), path);

  Clean(path);
  start = std::chrono::steady_clock::now();
  {
    std::vector<std::unique_ptr<platform::ChildProcess>> children;
    for (int p = 0; p < 4; ++p)
      children.push_back(platform::ChildProcess::Start(
          platform::ExecutablePath(),
          {"child", path, std::to_string(p * (lines / 4)), std::to_string(lines / 4)}));
    for (auto& c : children) c->Wait();
  }
  Report(results, "QLXLogger immediate, 4 processes, one file", lines, Seconds(start), path);

  Clean(path);
  start = std::chrono::steady_clock::now();
  WriteLogger(path, lines, 1, true);
  Report(results, "QLXLogger deferred, 1 thread", lines, Seconds(start), path);

  Clean(path);
  start = std::chrono::steady_clock::now();
  WriteLogger(path, lines, 4, true);
  Report(results, "QLXLogger deferred, 4 threads", lines, Seconds(start), path);

  const std::string spdPath = dir + "spdlog.log";
  Clean(spdPath);
  start = std::chrono::steady_clock::now();
  {
    auto logger = spdlog::basic_logger_st("st", spdPath, true);
    logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
        "%d.%m.%Y %H:%M:%S.%e %v", spdlog::pattern_time_type::local, "\r\n"));
    for (long i = 0; i < lines; ++i) logger->info(Message(i));
    logger->flush();
    spdlog::drop("st");
  }
  Report(results, "spdlog basic_file_sink_st, 1 thread", lines, Seconds(start), spdPath);

  for (int threads : {1, 4}) {
    Clean(spdPath);
    start = std::chrono::steady_clock::now();
    {
      spdlog::init_thread_pool(8192, 1);
      auto logger = spdlog::basic_logger_mt<spdlog::async_factory>("async", spdPath, true);
      logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
        "%d.%m.%Y %H:%M:%S.%e %v", spdlog::pattern_time_type::local, "\r\n"));
      std::vector<std::thread> pool;
      for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
          long share = lines / threads;
          for (long i = t * share; i < (t + 1) * share; ++i) logger->info(Message(i));
        });
      for (auto& th : pool) th.join();
      logger.reset();
      spdlog::shutdown();  // waits until the queue is written
    }
    Report(results, threads == 1 ? "spdlog async, 1 thread" : "spdlog async, 4 threads", lines,
           Seconds(start), spdPath);
  }

  auto find = [&](const char* name) {
    for (const Result& r : results)
      if (std::string(r.name) == name) return r.linesPerSecond;
    return 0.0;
  };
  std::printf("\nratios (ours / spdlog):\n");
  std::printf("  immediate 1 thread / basic_file_sink_st : %.3f\n",
              find("QLXLogger immediate, 1 thread") / find("spdlog basic_file_sink_st, 1 thread"));
  std::printf("  deferred 1 thread / async 1 thread       : %.3f\n",
              find("QLXLogger deferred, 1 thread") / find("spdlog async, 1 thread"));
  std::printf("  deferred 4 threads / async 4 threads     : %.3f\n",
              find("QLXLogger deferred, 4 threads") / find("spdlog async, 4 threads"));
  std::printf("  deferred 1 thread / basic_file_sink_st   : %.3f\n",
              find("QLXLogger deferred, 1 thread") / find("spdlog basic_file_sink_st, 1 thread"));
  Clean(path);
  Clean(spdPath);
  QLXLoggerShutdown();
  return 0;
}
