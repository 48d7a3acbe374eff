#pragma once
// Waiting for a dialog's worker thread on the dialog's own thread. The
// worker sends its messages to the dialog's windows, so the wait keeps
// handling them, or neither side could go on.

#include <windows.h>

#include "support/unique_handle.h"

namespace ui {

enum class WhileWaiting {
    dispatch_all,   // every message, sent and posted, is handled meanwhile
    sent_only,      // only sent messages: no posted input runs a handler meanwhile
};

// Returns when the thread has ended (at once when `worker` is empty), and
// empties `worker`.
void join_worker(support::UniqueHandle& worker, WhileWaiting mode);

}  // namespace ui
