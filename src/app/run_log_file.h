#pragma once
// The run's log on disk: what app::run_log() writes once the start-up has
// opened it. UTF-8, one line per report with the local time in front:
//   2026-12-08 10:15:00.123  start   uninstall "Zinzin IME" (silent) ...
//   2026-12-08 10:15:00.456  row     正在删除文件...
//   2026-12-08 10:15:00.789  deleted C:\Program Files\Zinzin\readme.txt
//   2026-12-08 10:15:01.012  failed  C:\Windows\System32\zz.ime (error 32: The process cannot access ...)
//   2026-12-08 10:15:01.345  exit    1603
// Each line is written at once, so a run that dies leaves what it did.
//
// The place: the log switch's path when given (a file that is there is
// appended to), else a new file in the temporary folder named
// "<product>-<mode>-<yyyymmdd-hhmmss>-<8 random hex digits>.log", created
// new (never an existing file or a link someone put there ahead).

namespace app {

// Opens the log for a run of `mode` (kModeInstall, kModeUninstall, ...)
// on `product` and makes it the run's log. A log that can't be opened is
// said once (a message box, or a console line when silent) and the run goes
// on without one. `arguments` is the argument string for the start line.
// Nothing happens when a log is open already.
void open_run_log(const wchar_t* product, wchar_t mode, const wchar_t* arguments);

// The log's path once open; empty otherwise.
const wchar_t* run_log_path();

// Writes the exit code as the last line and closes the log.
void close_run_log(int exit_code);

}  // namespace app
