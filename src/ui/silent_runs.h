#pragma once
// The four modes without a window (the silent modes): each runs its engine
// as its dialog would, reports only to the run's log (app::run_log()) and
// sets the program's exit code (app::set_exit_code). A process holding the
// IME file fails the run unless the options allow ending it; nothing is
// ever asked.

namespace ui {

// The install wizard's work: see install_worker.cpp.
void run_silent_install();
// The uninstall of the product on the command line.
void run_silent_uninstall();
// The repair from the product's kept package.
void run_silent_repair();
// The update of `product_name`'s components (no skin packages: choosing
// them needs a person).
void run_silent_update(const wchar_t* product_name);

}  // namespace ui
