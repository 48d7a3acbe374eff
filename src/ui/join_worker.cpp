#include "ui/join_worker.h"

namespace ui {

void join_worker(support::UniqueHandle& worker, WhileWaiting mode) {
    const DWORD wake = mode == WhileWaiting::dispatch_all ? QS_ALLINPUT : QS_SENDMESSAGE;
    while (worker) {
        const HANDLE thread = worker.get();
        if (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, wake) == WAIT_OBJECT_0) {
            worker.reset();
            return;
        }
        MSG message;
        if (mode == WhileWaiting::sent_only) {
            // Peeking delivers the sent messages; posted ones stay queued.
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

}  // namespace ui
