#pragma once
// What a run (install, repair, uninstall, update) tells whoever watches it.
// The engines report only through this interface and hold no window: the
// dialogs implement it by adding list rows and moving their progress bar,
// the run's log implements it by writing lines, and a run may report to
// both at once (TeeReport).

namespace support {

// What a run did to the machine, for the log: every file, folder, registry
// key or value and shortcut it created, replaced or removed.
enum class Touch {
    file_copied,       // a file placed where there was none
    file_replaced,     // a file put in place of an existing one
    file_staged,       // a replacement or deletion left for the next restart
    file_deleted,
    folder_created,
    folder_deleted,
    key_written,       // a registry key created or opened for writing
    key_removed,
    value_written,     // "<key>\<value name>"
    value_removed,
    shortcut_created,
    shortcut_removed,
};

class RunReport {
public:
    virtual ~RunReport() = default;
    // A row of the run's step list, exactly as the dialog shows it.
    virtual void row(const wchar_t* text) = 0;
    // The progress bar's new position, 0 to 100.
    virtual void progress(int position) = 0;
    // Something that failed: what was being done (a path or a step) and the
    // Windows error code (0 where there is none).
    virtual void failure(const wchar_t* what, unsigned long error) = 0;
    // Something the run changed on the machine.
    virtual void touched(Touch kind, const wchar_t* what) = 0;
};

// Reports nothing (a run nobody watches, as in some tests).
class NullReport final : public RunReport {
public:
    void row(const wchar_t*) override {}
    void progress(int) override {}
    void failure(const wchar_t*, unsigned long) override {}
    void touched(Touch, const wchar_t*) override {}
};

// Every report goes to both, first then second.
class TeeReport final : public RunReport {
public:
    TeeReport(RunReport& first, RunReport& second) : first_(first), second_(second) {}
    void row(const wchar_t* text) override { first_.row(text); second_.row(text); }
    void progress(int position) override { first_.progress(position); second_.progress(position); }
    void failure(const wchar_t* what, unsigned long error) override {
        first_.failure(what, error);
        second_.failure(what, error);
    }
    void touched(Touch kind, const wchar_t* what) override {
        first_.touched(kind, what);
        second_.touched(kind, what);
    }

private:
    RunReport& first_;
    RunReport& second_;
};

}  // namespace support
