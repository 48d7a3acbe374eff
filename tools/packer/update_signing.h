#pragma once
// The vendor's side of signed updates: a key pair, digests filled into
// update lists, a detached signature beside each list, and the public key
// put into the installer (formats: src/update/update_signature.h).

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "update/update_signature.h"

namespace imepack {

// `imepack keygen PRIVATE.pem PUBLIC.pem`: a new P-256 key pair. Existing
// files are never overwritten (a vendor's key is not to be lost).
void command_keygen(const std::string& private_key, const std::string& public_key, std::FILE* report);

// `imepack sign-list LIST PRIVATE.pem [--packages FOLDER]`: with FOLDER,
// first sets each line's SHA256 tag to the digest of the file its CABURL
// names in FOLDER (its last path part) and, where FOLDER also holds that
// name + ".png" (a skin's preview), PNGSHA256; then writes LIST.sig.
void command_sign_list(const std::string& list, const std::string& private_key, const std::string& packages,
                       std::FILE* report);

// The installer with `public_key` (a PEM file) in its key slot. An installer
// that already holds that key is returned as it is; one without a slot, or
// with a slot it can't change (it is signed, see below), is refused.
std::vector<std::uint8_t> with_update_key(std::vector<std::uint8_t> installer, const std::string& public_key,
                                          const std::string& installer_name);

// The neutral steps, for the tests.
// The list text with its digest tags set; `digest_of` gives the lowercase
// hex digest of a file name in the package folder, or nothing when there is
// no such file. Throws InputError naming the line of a CABURL without file.
using DigestLookup = std::string (*)(const std::string& folder, const std::string& name);
std::string fill_list_digests(const std::string& text, const std::string& folder, DigestLookup digest_of,
                              const std::string& list_name);
update::PublicKey read_public_key_file(const std::string& path);

}  // namespace imepack
