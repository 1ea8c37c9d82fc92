#include "common/interrupt.h"

#include <atomic>

namespace kubic {

namespace {

std::atomic<InterruptCheck> installed_check{nullptr};

}  // namespace

void set_interrupt_check(InterruptCheck check) { installed_check.store(check, std::memory_order_relaxed); }

Status check_interrupt() {
  InterruptCheck check = installed_check.load(std::memory_order_relaxed);
  if (check && check()) return Status::Error("Interrupted");
  return Status::Ok();
}

}  // namespace kubic
