#include "cli.h"

#include "commands.h"
#include "tool_error.h"
#include "update_signing.h"

#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <string_view>

#ifndef IMEPACK_VERSION
#define IMEPACK_VERSION "unknown"
#endif

namespace imepack {

namespace {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CommandHelp {
    const char* name;
    const char* synopsis;
    const char* summary;
    std::size_t operands;
    const char* text;
};

constexpr CommandHelp kCommands[] = {
    {"cab", "cab FOLDER OUT.cab [--store | --best]", "a cabinet of FOLDER's files", 2,
     "Writes a Microsoft cabinet of every file below FOLDER, subfolders included\n"
     "(stored as \"sub\\name\"), with each file's time stamp (local time, in DOS\n"
     "form), its read-only attribute and the archive attribute. Names that\n"
     "aren't ASCII are stored in UTF-8 (attribute 0x80). Empty folders are not\n"
     "stored. Data is MSZIP-compressed on all cores; --store writes it\n"
     "uncompressed, --best compresses each block against the one before it\n"
     "(smaller, about three times the time).\n"},
    {"seal", "seal IN.cab OUT.pkg", "encipher a cabinet into a package", 2,
     "Enciphers a cabinet into a package (\"CRYP\") with the package key, the\n"
     "form the installer carries.\n"},
    {"unseal", "unseal IN.pkg OUT.cab", "the cabinet back from a package", 2,
     "Turns a package back into the cabinet it was sealed from, byte for byte.\n"},
    {"attach", "attach INSTALLER.exe PACKAGE OUT.exe", "put a package into an installer", 3,
     "Writes OUT.exe: the installer with PACKAGE appended and its offset in the\n"
     "image header's LoaderFlags field (PE32 and PE32+). A package the installer\n"
     "already carries is replaced, never stacked. PACKAGE must be sealed.\n"},
    {"inspect", "inspect FILE", "show an installer, package or cabinet", 1,
     "Shows what FILE is: for an installer its image size, package offset and\n"
     "size, what follows the package, whether it is signed, which uninstaller\n"
     "the install leaves and the package's files; for a package or cabinet its\n"
     "header and files (size, date and time, attributes R H S A and U for UTF-8\n"
     "names).\n"},
    {"record", "record DESCRIPTION.txt OUT.dif", "write InstallInfo.dif from a description", 2,
     "Writes the install information record (\"InstallInfo.dif\", 2668 bytes)\n"
     "from a UTF-8 description: one \"field = value\" a line, '#' starts a\n"
     "comment line. Fields: ime_name (required), layout_text, display_name,\n"
     "shortcut_flags (a number, decimal or 0x hex), comments, publisher,\n"
     "display_version, contact, url_info_about, help_link, url_update_info,\n"
     "help_telephone, post_install_open.\n"},
    {"build", "build PRODUCT-FOLDER DESCRIPTION.txt INSTALLER.exe OUT.exe [--update-key PUBLIC.pem] [--best]",
     "all steps: product folder to installer", 4,
     "All steps at once: the record from DESCRIPTION.txt goes into the cabinet's\n"
     "top level as \"InstallInfo.dif\" beside PRODUCT-FOLDER's files (a folder\n"
     "that already holds one is refused), the cabinet is sealed and attached to\n"
     "INSTALLER.exe, and the result written to OUT.exe. A signed INSTALLER.exe\n"
     "travels untouched in the package as \"unstall.exe\", the uninstaller the\n"
     "install leaves; OUT.exe is unsigned: sign it last. With --update-key the\n"
     "installer (and so the uninstaller it installs, which updates) carries\n"
     "that public key and takes only update lists signed with its private key.\n"
     "--best as for cab.\n"},
    {"keygen", "keygen PRIVATE.pem PUBLIC.pem", "a key pair for signing update lists", 2,
     "Makes an ECDSA P-256 key pair: PRIVATE.pem (PKCS#8 PEM, readable by its\n"
     "owner only; keep it off the update server) and PUBLIC.pem (PEM, for\n"
     "build --update-key). Existing files are never overwritten.\n"},
    {"sign-list", "sign-list LIST PRIVATE.pem [--packages FOLDER]", "sign an update list", 2,
     "Writes LIST.sig, the ECDSA P-256 / SHA-256 signature of LIST's exact bytes\n"
     "(DER, as openssl dgst -sha256 -sign writes it). With --packages, first\n"
     "sets each line's <SHA256=...> to the digest of the file in FOLDER that its\n"
     "CABURL names (its last path part) and, for a skin whose preview NAME.png\n"
     "lies beside it, <PNGSHA256=...>; a CABURL without its file is an error.\n"},
    {"set-key", "set-key INSTALLER.exe PUBLIC.pem OUT.exe", "put the update key into an installer", 3,
     "Writes OUT.exe: INSTALLER.exe carrying PUBLIC.pem as its update key, for\n"
     "an installer program that is signed afterwards (and then given to build,\n"
     "which keeps a key that is already there).\n"},
};

constexpr const char* kExitText =
    "Exit codes: 0 success, 1 bad input (the message names the file and line),\n"
    "2 wrong usage. Outputs are written whole or not at all.\n";

const CommandHelp* find_command(std::string_view name) {
    for (const CommandHelp& c : kCommands) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

void print_overview(std::FILE* out) {
    std::fprintf(out, "imepack %s: packs an input-method product into its installer.\n\nUsage:\n", IMEPACK_VERSION);
    for (const CommandHelp& c : kCommands) std::fprintf(out, "  imepack %s\n      %s\n", c.synopsis, c.summary);
    std::fprintf(out, "  imepack help [COMMAND]    (or COMMAND --help)\n  imepack --version\n\n%s", kExitText);
}

void print_command_help(const CommandHelp& c, std::FILE* out) {
    std::fprintf(out, "Usage: imepack %s\n\n%s\n%s", c.synopsis, c.text, kExitText);
}

struct Options {
    bool store = false;
    bool best = false;
    std::string update_key;  // build --update-key
    std::string packages;    // sign-list --packages
};

void dispatch(const CommandHelp& c, const std::vector<std::string>& operands, const Options& options) {
    const bool store = options.store;
    const bool best = options.best;
    if (store && std::string_view(c.name) != "cab") throw UsageError("--store belongs to the cab command only");
    if (best && std::string_view(c.name) != "cab" && std::string_view(c.name) != "build")
        throw UsageError("--best belongs to the cab and build commands only");
    if (best && store) throw UsageError("--best compresses, --store doesn't: give one of them");
    if (!options.update_key.empty() && std::string_view(c.name) != "build")
        throw UsageError("--update-key belongs to the build command only");
    if (!options.packages.empty() && std::string_view(c.name) != "sign-list")
        throw UsageError("--packages belongs to the sign-list command only");
    const auto& o = operands;
    const std::string_view name = c.name;
    if (name == "cab") command_cab(o[0], o[1], store ? Compression::Store : Compression::Mszip, stdout, best);
    else if (name == "seal") command_seal(o[0], o[1], stdout);
    else if (name == "unseal") command_unseal(o[0], o[1], stdout);
    else if (name == "attach") command_attach(o[0], o[1], o[2], stdout);
    else if (name == "inspect") command_inspect(o[0], stdout);
    else if (name == "record") command_record(o[0], o[1], stdout);
    else if (name == "keygen") command_keygen(o[0], o[1], stdout);
    else if (name == "sign-list") command_sign_list(o[0], o[1], options.packages, stdout);
    else if (name == "set-key") command_set_key(o[0], o[1], o[2], stdout);
    else command_build(o[0], o[1], o[2], o[3], stdout, options.update_key, best);
}

int run_command(const CommandHelp& c, const std::vector<std::string>& args) {
    std::vector<std::string> operands;
    Options options;
    bool options_done = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!options_done && (a == "--help" || a == "-h")) {
            print_command_help(c, stdout);
            return kExitSuccess;
        }
        if (!options_done && a == "--") options_done = true;
        else if (!options_done && a == "--store") options.store = true;
        else if (!options_done && (a == "--update-key" || a == "--packages")) {
            if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError(a + " wants a file name");
            (a == "--update-key" ? options.update_key : options.packages) = args[++i];
        }
        else if (!options_done && a == "--best") options.best = true;
        else if (!options_done && a.size() > 1 && a[0] == '-') throw UsageError("unknown option " + a);
        else operands.push_back(a);
    }
    if (operands.size() != c.operands) {
        throw UsageError(std::string(c.name) + " takes " + std::to_string(c.operands) + " operand(s), got " +
                         std::to_string(operands.size()) + "\nusage: imepack " + c.synopsis);
    }
    dispatch(c, operands, options);
    return kExitSuccess;
}

int run_checked(const std::vector<std::string>& args) {
    if (args.empty()) {
        print_overview(stderr);
        return kExitUsage;
    }
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || (first == "help" && args.size() == 1)) {
        print_overview(stdout);
        return kExitSuccess;
    }
    if (first == "--version") {
        std::printf("imepack %s\n", IMEPACK_VERSION);
        return kExitSuccess;
    }
    if (first == "help") {
        const CommandHelp* c = find_command(args[1]);
        if (c == nullptr) throw UsageError("no command \"" + args[1] + "\"");
        print_command_help(*c, stdout);
        return kExitSuccess;
    }
    const CommandHelp* c = find_command(first);
    if (c == nullptr) throw UsageError("no command \"" + first + "\" (imepack --help lists them)");
    return run_command(*c, args);
}

}  // namespace

int run_cli(const std::vector<std::string>& args) {
    try {
        return run_checked(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "imepack: %s\n", e.what());
        return kExitUsage;
    } catch (const InputError& e) {
        std::fprintf(stderr, "imepack: %s\n", e.what());
        return kExitBadInput;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "imepack: out of memory\n");
        return kExitBadInput;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "imepack: %s\n", e.what());
        return kExitBadInput;
    }
}

}  // namespace imepack
