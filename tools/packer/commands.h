#pragma once
// The subcommands of imepack, one function each. Paths are UTF-8. Each
// writes its output atomically and throws InputError for bad input; a
// short summary goes to `report`.

#include "cabinet_writer.h"

#include <cstdio>
#include <string>

namespace imepack {

// best: MSZIP with each block compressed against the one before (smaller, slower).
void command_cab(const std::string& folder, const std::string& out, Compression compression, std::FILE* report,
                 bool best = false);
void command_seal(const std::string& in, const std::string& out, std::FILE* report);
void command_unseal(const std::string& in, const std::string& out, std::FILE* report);
void command_attach(const std::string& installer, const std::string& package, const std::string& out,
                    std::FILE* report);
void command_inspect(const std::string& file, std::FILE* report);
void command_record(const std::string& description, const std::string& out, std::FILE* report);
// `update_key`: a public key file to put into the installer, or empty.
void command_build(const std::string& folder, const std::string& description, const std::string& installer,
                   const std::string& out, std::FILE* report, const std::string& update_key = {},
                   bool best = false);
void command_set_key(const std::string& installer, const std::string& public_key, const std::string& out,
                     std::FILE* report);

}  // namespace imepack
