#pragma once
// How the update engines report to their dialog: a progress handler and a
// message handler, each called with a notice and the dialog's own value.
// Either handler may be absent; an absent one is simply not called.

#include <cstdint>

namespace update {

struct UpdateNotice {
    const wchar_t* text;  // a message line, valid only during the call; null in progress notices
    std::int32_t number;  // progress notices: the running byte total; 0 in message notices
};

using UpdateHandler = void (*)(const UpdateNotice* notice, void* user);

struct UpdateHandlers {
    UpdateHandler progress = nullptr;
    UpdateHandler message = nullptr;
    void* user = nullptr;  // the dialog, handed back to both handlers
};

// A message notice (number 0) to the message handler, if there is one.
inline void post_message(const UpdateHandlers& handlers, const wchar_t* text) {
    if (handlers.message == nullptr || text == nullptr) return;
    const UpdateNotice notice{text, 0};
    handlers.message(&notice, handlers.user);
}

}  // namespace update
