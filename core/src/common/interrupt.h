#pragma once

#include "common/status.h"

namespace kubic {

// Long work (buffer refills and drains, block batches, store fills) asks
// between pieces whether to stop, so that a user's Ctrl-C ends it within
// milliseconds. The embedding installs the check; by default nothing
// interrupts. The check is called often: it must be cheap.
using InterruptCheck = bool (*)();
void set_interrupt_check(InterruptCheck check);

// Fails with "Interrupted" once the installed check says so.
Status check_interrupt();

}  // namespace kubic
