#include "package/cabinet_extract.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string_view>

#include "package/stored_name.h"
#include "support/folder_path.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace Cabinet {

using support::CTextBufA;
using support::CTextBufW;

namespace {

constexpr int kProcessorType = cpu80386;
constexpr int kOutputFlags = _O_CREAT | _O_TRUNC | _O_RDWR | _O_BINARY;
constexpr int kOutputPermission = _S_IREAD | _S_IWRITE;
// A notification's answer that stops the decoder.
constexpr INT_PTR kStop = -1;
constexpr INT_PTR kNoHandle = -1;

int descriptor(INT_PTR handle) { return static_cast<int>(handle); }

std::u16string_view as_u16_view(const CTextBufW& text) {
    return std::u16string_view(support::as_u16(text.c_str()), text.length());
}

bool ends_with_backslash(const CTextBufW& text) {
    const std::uint32_t n = text.length();
    return n > 0 && text.c_str()[n - 1] == L'\\';
}

// The CRT keeps the system's error code of its last failed call.
std::uint32_t crt_system_error(std::uint32_t fallback) {
    const unsigned long error = _doserrno;
    return error != 0 ? static_cast<std::uint32_t>(error) : fallback;
}

// A cabinet of a set must be named plainly: it is looked for in the first
// cabinet's folder and nowhere else.
bool is_plain_file_name(std::string_view name) {
    return !name.empty() && name.find_first_of("\\/:|") == std::string_view::npos && name != "." && name != "..";
}

std::string lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

// The decoder calls these with no pointer of ours (only its notifications
// carry one), so each finds its object through the thread's slot. They are
// noexcept: a buffer error raised inside ends the program here instead of
// unwinding through the decoder.
struct CExtract::Callbacks {
    static void* DIAMONDAPI alloc(ULONG size) noexcept { return std::malloc(size); }
    static void DIAMONDAPI release(void* block) noexcept { std::free(block); }

    static INT_PTR DIAMONDAPI open(char* path, int flags, int permission) noexcept {
        CExtract* self = ThreadSlotObject();
        return self != nullptr ? self->open_for_decoder(path, flags, permission) : kNoHandle;
    }
    static UINT DIAMONDAPI read(INT_PTR handle, void* buffer, UINT count) noexcept {
        CExtract* self = ThreadSlotObject();
        return self != nullptr ? self->read_for_decoder(handle, buffer, count) : static_cast<UINT>(-1);
    }
    static UINT DIAMONDAPI write(INT_PTR handle, void* buffer, UINT count) noexcept {
        CExtract* self = ThreadSlotObject();
        return self != nullptr ? self->write_for_decoder(handle, buffer, count) : static_cast<UINT>(-1);
    }
    static int DIAMONDAPI close(INT_PTR handle) noexcept {
        CExtract* self = ThreadSlotObject();
        return self != nullptr ? self->close_for_decoder(handle) : -1;
    }
    static long DIAMONDAPI seek(INT_PTR handle, long offset, int origin) noexcept {
        CExtract* self = ThreadSlotObject();
        return self != nullptr ? self->seek_for_decoder(handle, offset, origin) : -1;
    }
    static INT_PTR DIAMONDAPI notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION info) noexcept {
        CExtract* self = ThreadSlotObject();
        return self != nullptr ? self->notify(type, info) : kStop;
    }
};

CExtract::CExtract()
    : reader_(
          &cipher_, [this](std::intptr_t handle, void* buffer, unsigned count) -> long { return Read(handle, buffer, count); },
          [this](std::intptr_t handle, long offset, int origin) -> long { return Seek(handle, offset, origin); }),
      owner_thread_(GetCurrentThreadId()) {}

CExtract::~CExtract() {
    if (output_.open()) Close(output_.handle);
    if (context_ != nullptr && library_.destroy(context_)) context_ = nullptr;
    // Only this object's own registration goes: another object may hold
    // the slot (one this object was refused for).
    if (context_ == nullptr && ThreadSlotObject() == this) ClearThreadSlot();
    // The library goes with library_, the reader's tables and work buffer
    // with reader_.
}

void CExtract::Abort() {
    abort_ = true;
}

int CExtract::Read(INT_PTR handle, void* buffer, unsigned count) {
    return _read(descriptor(handle), buffer, count);
}

int CExtract::Write(INT_PTR handle, const void* buffer, unsigned count) {
    return _write(descriptor(handle), buffer, count);
}

int CExtract::Close(INT_PTR handle) {
    return _close(descriptor(handle));
}

long CExtract::Seek(INT_PTR handle, long offset, int origin) {
    return _lseek(descriptor(handle), offset, origin);
}

INT_PTR CExtract::Open(const wchar_t* path, int flags, int permission) {
    // A read-only (or hidden) file of the same name would refuse to be
    // truncated; the new file takes its place.
    if ((flags & _O_CREAT) != 0) SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    return _wopen(path, flags, permission);
}

void CExtract::FileExtracted(const wchar_t* /*name*/) {}

void CExtract::SetKey(const void* key, std::size_t length) {
    package::SetKey(cipher_, static_cast<const std::uint8_t*>(key), length);
}

BOOL CExtract::CreateFDIContext() {
    if (!on_owner_thread()) return FALSE;
    error_ = ExtractError{};
    if (!register_in_slot()) return FALSE;
    if (const DWORD error = library_.load(); error != 0) {
        fail(kErrLoadLibrary, error);
        return FALSE;
    }
    if (context_ == nullptr) {
        decoder_error_ = ERF{};
        context_ = library_.create(Callbacks::alloc, Callbacks::release, Callbacks::open, Callbacks::read,
                                   Callbacks::write, Callbacks::close, Callbacks::seek, kProcessorType,
                                   &decoder_error_);
    }
    return context_ != nullptr;
}

BOOL CExtract::ExtractFile(const wchar_t* cabinet_path, const wchar_t* destination) {
    if (!on_owner_thread() || context_ == nullptr) return FALSE;
    abort_ = false;
    output_ = Output{};
    error_ = ExtractError{};
    decoder_error_ = ERF{};
    reader_.clear_error();
    next_cabinet_.assign(std::string_view());
    visited_.clear();
    made_folder_.assign(L"");
    // The callbacks find this object through the slot: after a
    // ClearThreadSlot it registers again (and is refused when another
    // object holds it).
    if (!register_in_slot()) return FALSE;

    destination_.assign(destination != nullptr ? destination : L"");
    destination_.slashes_to_backslashes();
    if (!ends_with_backslash(destination_)) destination_.append_backslash();

    CTextBufA folder;
    CTextBufA file;
    if (!split_cabinet_path(cabinet_path, folder, file)) return FALSE;
    run_copies(folder, file);
    finish_output();
    return error_.code == 0 && error_.system_error == 0 && !decoder_error_.fError;
}

BOOL CExtract::DestroyFDIContext() {
    if (!on_owner_thread()) return FALSE;
    if (context_ == nullptr) return TRUE;
    const BOOL destroyed = library_.destroy(context_);
    if (destroyed) context_ = nullptr;
    return destroyed;
}

bool CExtract::on_owner_thread() {
    if (GetCurrentThreadId() == owner_thread_) return true;
    fail(kErrWrongThread);
    return false;
}

bool CExtract::register_in_slot() {
    if (!InitThreadSlot()) {
        fail(kErrNone, kSystemErrorNoSlot);
        return false;
    }
    CExtract* const holder = ThreadSlotObject();
    if (holder == this) return true;
    if (holder != nullptr) {
        fail(kErrSlotTaken);
        return false;
    }
    if (!SetThreadSlotObject(this)) {
        fail(kErrNone, kSystemErrorNoSlot);
        return false;
    }
    return true;
}

void CExtract::fail(std::uint32_t code, std::uint32_t system_error) {
    error_.code = code;
    error_.system_error = system_error;
}

// The first error of an extraction is the one that explains it; later
// ones (the decoder stumbling on after it) don't replace it.
void CExtract::note(std::uint32_t code, std::uint32_t system_error) {
    if (error_.code == 0 && error_.system_error == 0) fail(code, system_error);
}

bool CExtract::split_cabinet_path(const wchar_t* cabinet_path, CTextBufA& folder, CTextBufA& file) {
    CTextBufW path(cabinet_path != nullptr ? cabinet_path : L"");
    path.slashes_to_backslashes();
    CTextBufW folder_part;
    CTextBufW file_part;
    path.split_path(&folder_part, &file_part);
    if (destination_.length() <= 2 || folder_part.length() <= 1 || file_part.length() <= 1) {
        fail(kErrBadPaths);
        return false;
    }
    support::to_utf8(folder_part, folder);
    support::to_utf8(file_part, file);
    return true;
}

// One decoder copy per cabinet of a set, in the first cabinet's folder,
// as long as each announces a next one.
void CExtract::run_copies(CTextBufA& folder, CTextBufA& file) {
    visited_.push_back(lower_ascii(file.view()));
    for (;;) {
        const BOOL copied =
            library_.copy(context_, file.data(), folder.data(), 0, Callbacks::notify, nullptr, this);
        if (!copied) {
            error_.extra = static_cast<std::uint32_t>(decoder_error_.erfOper);
            return;
        }
        if (next_cabinet_.length() == 0) return;
        if (!next_cabinet_acceptable()) {
            note(FDIERROR_WRONG_CABINET);
            return;
        }
        file.assign(next_cabinet_);
        next_cabinet_.assign(std::string_view());
    }
}

// A set that leads back to a cabinet already read would go round for ever.
bool CExtract::next_cabinet_acceptable() {
    const std::string_view name = next_cabinet_.view();
    if (!is_plain_file_name(name)) return false;
    const std::string key = lower_ascii(name);
    for (const std::string& seen : visited_)
        if (seen == key) return false;
    visited_.push_back(key);
    return true;
}

void CExtract::finish_output() {
    if (!output_.open()) return;
    Close(output_.handle);
    output_.handle = kNoHandle;
    if (abort_) DeleteFileW(output_.path.c_str());
}

INT_PTR CExtract::notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION info) {
    if (abort_) return kStop;
    switch (type) {
        case fdintCABINET_INFO:
            return on_cabinet_info(*info);
        case fdintPARTIAL_FILE:
            return 0;  // its start lies in an earlier cabinet: skipped
        case fdintCOPY_FILE:
            return on_copy_file(*info);
        case fdintCLOSE_FILE_INFO:
            return on_close_file(*info);
        case fdintNEXT_CABINET:
            return on_next_cabinet(*info);
        default:
            return 0;
    }
}

INT_PTR CExtract::on_cabinet_info(const FDINOTIFICATION& info) {
    if (next_cabinet_.length() == 0 && info.psz1 != nullptr && info.psz1[0] != '\0')
        next_cabinet_.assign(std::string_view(info.psz1));
    return 0;
}

INT_PTR CExtract::on_copy_file(const FDINOTIFICATION& info) {
    if (output_.open()) finish_output();
    CTextBufW name;
    if (!decode_name(info.psz1, info.attribs, name) || !package::is_contained_name(as_u16_view(name))) {
        note(kErrCreateOutput, ERROR_INVALID_NAME);
        return kStop;
    }
    CTextBufW path(destination_);
    path.append(name);
    CTextBufW folder;
    path.split_path(&folder, nullptr);
    // Files of one folder follow each other in a cabinet: the folder is
    // looked for (and made) once for all of them.
    if (folder.view() != made_folder_.view()) {
        if (const std::uint32_t error = support::create_folder_path(folder.c_str()); error != 0) {
            note(kErrCreateOutput, error);
            return kStop;
        }
        made_folder_.assign(folder);
    }
    const INT_PTR handle = Open(path.c_str(), kOutputFlags, kOutputPermission);
    if (handle == kNoHandle) {
        note(kErrCreateOutput, crt_system_error(ERROR_OPEN_FAILED));
        return handle;
    }
    output_.handle = handle;
    output_.name.assign(name);
    output_.path.assign(path);
    output_.size = static_cast<std::uint32_t>(info.cb);
    return handle;
}

INT_PTR CExtract::on_close_file(const FDINOTIFICATION& info) {
    if (!output_.open() || output_.handle != info.hf) {
        close_for_decoder(info.hf);
        return TRUE;
    }
    const CTextBufW path(output_.path);
    const CTextBufW name(output_.name);
    // The times go on through the handle still open: opening every file a
    // second time costs as much as a tenth of a large extraction.
    const bool stamped = stamp_times(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor(info.hf))), info);
    close_for_decoder(info.hf);
    stamp_file(path.c_str(), info, stamped);
    FileExtracted(name.c_str());
    return TRUE;
}

INT_PTR CExtract::on_next_cabinet(const FDINOTIFICATION& info) {
    // The decoder asks again after every failure to open the next cabinet;
    // answering "go on" to an error would have it ask for ever.
    if (info.fdie != FDIERROR_NONE) {
        note(static_cast<std::uint32_t>(info.fdie));
        return kStop;
    }
    if (info.psz1 == nullptr || !is_plain_file_name(info.psz1)) {
        note(FDIERROR_WRONG_CABINET);
        return kStop;
    }
    return 0;
}

bool CExtract::decode_name(const char* stored, USHORT attributes, CTextBufW& name) const {
    const unsigned code_page = (attributes & kAttribNameIsUtf8) != 0 ? CP_UTF8 : code_page_;
    if (stored == nullptr || !support::from_code_page(stored, code_page, name)) return false;
    name.slashes_to_backslashes();
    return true;
}

// The cabinet's time becomes the creation and last-write time (the
// last-access time is left alone). True when the file has its times (or
// the stored time is no time at all).
bool CExtract::stamp_times(HANDLE file, const FDINOTIFICATION& info) {
    if (file == nullptr || file == INVALID_HANDLE_VALUE) return false;
    FILETIME stored{};
    if (!DosDateTimeToFileTime(info.date, info.time, &stored)) return true;
    FILETIME utc = stored;
    const bool known = (info.attribs & kAttribTimeIsUtc) != 0 || LocalFileTimeToFileTime(&stored, &utc);
    return !known || SetFileTime(file, &utc, nullptr, &utc);
}

// The times, unless they are on already (through a handle opened anew);
// then the kept attributes.
void CExtract::stamp_file(const wchar_t* path, const FDINOTIFICATION& info, bool times_stamped) const {
    if (!times_stamped) {
        const support::UniqueHandle file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        stamp_times(file.get(), info);
    }
    const DWORD attributes = info.attribs & kAttribKeptMask;
    SetFileAttributesW(path, attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

INT_PTR CExtract::open_for_decoder(const char* utf8_path, int flags, int permission) {
    CTextBufW path;
    if (utf8_path == nullptr || !support::from_code_page(utf8_path, CP_UTF8, path)) return kNoHandle;
    const INT_PTR handle = Open(path.c_str(), flags, permission);
    if (handle != kNoHandle) reader_.OnOpen(handle);
    return handle;
}

UINT CExtract::read_for_decoder(INT_PTR handle, void* buffer, UINT count) {
    const long delivered = reader_.Read(handle, buffer, count);
    if (delivered < 0) {
        // A refused signature says why the cabinet can't be read; a short
        // read leaves the explaining to the decoder.
        if (reader_.error() != package::PackageReader::kErrNone) note(reader_.error());
        return static_cast<UINT>(-1);
    }
    return static_cast<UINT>(delivered);
}

UINT CExtract::write_for_decoder(INT_PTR handle, void* buffer, UINT count) {
    const int written = Write(handle, buffer, count);
    // Some decoders go on after a short write; the file is then incomplete
    // and the extraction must not report success.
    if (written != static_cast<int>(count) && handle == output_.handle)
        note(kErrCreateOutput, crt_system_error(ERROR_WRITE_FAULT));
    return written < 0 ? static_cast<UINT>(-1) : static_cast<UINT>(written);
}

int CExtract::close_for_decoder(INT_PTR handle) {
    const int result = Close(handle);
    if (handle == output_.handle) output_.handle = kNoHandle;
    reader_.OnClose(handle);
    return result;
}

long CExtract::seek_for_decoder(INT_PTR handle, long offset, int origin) {
    const long position = Seek(handle, offset, origin);
    reader_.OnSeek(handle, position);
    return position;
}

}  // namespace Cabinet
