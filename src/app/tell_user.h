#pragma once
// Where the start-up's own lines go when there is no dialog to show them
// in: the help text, a switch that can't be read, a log that can't be
// written. A program started from a console (or with its output sent to a
// file or pipe) writes them there, as UTF-8 to a file or pipe and as text
// to a console; otherwise a message box shows them, unless the run is
// silent, where nothing may appear on the screen.

namespace app {

enum class Stream { output, error };

// True when the line reached a console, file or pipe (or, where allowed, a
// message box); false when it could go nowhere.
bool tell_user(const wchar_t* text, Stream stream, const wchar_t* caption, bool box_allowed);

// The handles the copy is started with, so that its lines reach the same
// console, file or pipe as the first program's: inheritable duplicates of
// this process's standard handles (null where there is none).
struct StandardHandles {
    void* input = nullptr;
    void* output = nullptr;
    void* error = nullptr;
    bool any() const { return output != nullptr || error != nullptr; }
};
StandardHandles inheritable_standard_handles();
void close_standard_handles(StandardHandles& handles);

}  // namespace app
