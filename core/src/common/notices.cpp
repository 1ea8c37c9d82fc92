#include "common/notices.h"

#include <atomic>
#include <cstdio>

namespace kubic {

namespace {

std::atomic<NoticeSink> installed_sink{nullptr};

}  // namespace

void set_notice_sink(NoticeSink sink) { installed_sink.store(sink, std::memory_order_relaxed); }

void emit_notice(const std::string& line) {
  if (NoticeSink sink = installed_sink.load(std::memory_order_relaxed)) {
    sink(line);
    return;
  }
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace kubic
