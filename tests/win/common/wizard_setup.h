#pragma once
// What the wizard needs from the start-up, for tests that create it or its
// pages: the process-wide records with a product of a unique name, a
// workspace with an (empty) extracted tree in a scratch folder, and the
// wizard's shared buffers emptied. Removes the product's registry keys and
// data folder afterwards.

#include <string>

#include "app/process_records.h"
#include "scratch.h"

namespace wintest {

class WizardSetup {
public:
    explicit WizardSetup(const wchar_t* tag = L"Wiz");
    ~WizardSetup();
    WizardSetup(const WizardSetup&) = delete;
    WizardSetup& operator=(const WizardSetup&) = delete;

    app::ProcessRecords records;

    const std::wstring& ime_name() const { return ime_name_; }
    const std::wstring& display_name() const { return display_name_; }
    std::wstring extract_dir() { return records.run().extract_dir; }
    std::wstring scratch_file(const std::wstring& name) const { return scratch_.file(name); }
    const ScratchFolder& scratch() const { return scratch_; }
    // The product's data folder (below the common application data folder).
    std::wstring data_folder() const;

    // "ZMEInstallPath" of HKLM "Software\marlix\<ime name>", as a registered
    // product has it.
    void register_directory(const std::wstring& directory) const;

private:
    ScratchFolder scratch_;
    std::wstring ime_name_;
    std::wstring display_name_;
};

}  // namespace wintest
