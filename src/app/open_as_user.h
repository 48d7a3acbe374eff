#pragma once
// Opening a file or an address with its default program as the signed-in
// user, never with this process's administrator rights: an elevated
// Notepad or browser hands the user file dialogs (and with them anything
// on the machine) with those rights.

namespace app {

// Opens `target` (a file path or an http/https address) with its default
// action. Not elevated: through the shell directly. Elevated: through the
// desktop's own shell (its IShellDispatch2::ShellExecute, which runs in
// the unelevated Explorer), else through the system's rundll32 started
// with the desktop shell process's token. False, with nothing opened,
// when neither can be had: then it isn't opened at all rather than
// elevated.
bool open_as_signed_in_user(const wchar_t* target);

}  // namespace app
