#pragma once
// Extraction of every file of a cabinet into a folder, through the system's
// cabinet decoder ("Cabinet.dll", loaded when first needed), keeping the
// stored subfolders, times and attributes. With a key set it reads sealed
// "CRYP" packages (deciphered on the fly by the package reader); without
// one it reads plain "MSCF" cabinets.
//
// One object per extraction, used on the thread that created it:
//     CExtract extract;
//     extract.SetKey(key, length);            // packages only
//     if (extract.CreateFDIContext() && extract.ExtractFile(package, folder)) ...
//     extract.DestroyFDIContext();
// Every failure is reported through the result (0) and GetExtractError();
// nothing is shown to the user here. Files extracted before a failure stay.
//
// A stored name that would reach outside the destination folder (a root or
// drive, a ".." step, a stream, a device) is refused: nothing is written
// for it and the extraction fails with kErrCreateOutput.

#include <windows.h>

#include <fdi.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/blowfish.h"
#include "package/cabinet_library.h"
#include "package/cabinet_slot.h"
#include "package/package_reader.h"
#include "support/text_buffers.h"

namespace Cabinet {

// What went wrong in the last operation; all zero when nothing did.
struct ExtractError {
    std::uint32_t code;          // one of the kErr codes below, or a decoder error (see kErrNone)
    std::uint32_t system_error;  // the system's error code behind it, where there is one
    std::uint32_t extra;         // the decoder's own error number (FDIERROR_*) after a failed copy
};
static_assert(sizeof(ExtractError) == 12);

// No error. A thread slot that can't be had or set is code 0 with system
// error kSystemErrorNoSlot. Other small numbers are the decoder's
// FDIERROR_* values passed on when it can't move on to the next cabinet of
// a set (for instance 1, the next cabinet isn't there; 10, a set that
// names a cabinet already read or one outside the cabinet's folder).
inline constexpr std::uint32_t kErrNone = 0;
inline constexpr std::uint32_t kErrNotCabinet = 2;         // neither "MSCF" nor "CRYP"
inline constexpr std::uint32_t kErrCreateOutput = 8;       // an output file or folder (system error: why), or a refused name
inline constexpr std::uint32_t kErrLoadLibrary = 1000;     // "Cabinet.dll" or one of its functions
inline constexpr std::uint32_t kErrBadPaths = 1002;        // destination, cabinet folder or cabinet name too short
inline constexpr std::uint32_t kErrPlainWhereKeyed = 1007; // a plain cabinet while a key is set
inline constexpr std::uint32_t kErrKeyedWhereNone = 1008;  // a sealed package while no key is set
inline constexpr std::uint32_t kErrWrongThread = 1011;     // called from a thread other than the owner
inline constexpr std::uint32_t kErrSlotTaken = 1012;       // another object is registered on this thread
inline constexpr std::uint32_t kSystemErrorNoSlot = 14;    // ERROR_OUTOFMEMORY

// Attribute bits of a stored file.
inline constexpr USHORT kAttribNameIsUtf8 = 0x80;     // else the name is in the object's code page (1252)
inline constexpr USHORT kAttribTimeIsUtc = 0x100;     // else the stored time is local time
inline constexpr USHORT kAttribKeptMask = 0x27;       // read-only, hidden, system, archive

class CExtract {
public:
    // Code page 1252, owned by the calling thread, nothing loaded yet.
    CExtract();
    // Destroys the decoder context; once it is gone, clears the thread's
    // slot if it holds this object (and only then); lets "Cabinet.dll" go.
    virtual ~CExtract();

    CExtract(const CExtract&) = delete;
    CExtract& operator=(const CExtract&) = delete;

    // Makes the next decoder notification stop the decoder. Any thread may
    // call it; the file being written then is deleted.
    virtual void Abort();
    // The C runtime's low-level file operations on the decoder's handles.
    virtual int Read(INT_PTR handle, void* buffer, unsigned count);
    virtual int Write(INT_PTR handle, const void* buffer, unsigned count);
    virtual int Close(INT_PTR handle);
    virtual long Seek(INT_PTR handle, long offset, int origin);
    // A low-level wide open; when the flags ask to create, the existing
    // file's attributes are set to normal first, so a read-only file is
    // replaced.
    virtual INT_PTR Open(const wchar_t* path, int flags, int permission);
    // Called once a file is out whole, with its times and attributes on:
    // `name` as stored (backslashes), relative to the destination. Does
    // nothing here; an extraction watched from another thread says there
    // which files are ready.
    virtual void FileExtracted(const wchar_t* name);

    // Schedules the package key (a length of 0 leaves the object keyless).
    void SetKey(const void* key, std::size_t length);

    // Registers the object in the thread's slot, loads "Cabinet.dll" on
    // first use and creates the decoder context. Non-zero when the context
    // exists. Errors: kErrWrongThread, kErrSlotTaken, code 0 with
    // kSystemErrorNoSlot, kErrLoadLibrary.
    BOOL CreateFDIContext();

    // Extracts every file of `cabinet_path` (and of the cabinets after it
    // in a set) into `destination` (a trailing backslash is optional;
    // missing folders are made). Non-zero on success. Forward slashes in
    // either path count as backslashes.
    BOOL ExtractFile(const wchar_t* cabinet_path, const wchar_t* destination);

    // Destroys the decoder context: the decoder's answer, or non-zero when
    // there was none. The slot registration stays (see ClearThreadSlot).
    BOOL DestroyFDIContext();

    const ExtractError& GetExtractError() const { return error_; }
    // The decoder's own error record of the last operation.
    const ERF& GetDecoderError() const { return decoder_error_; }

    // The code page of names stored without the UTF-8 attribute.
    unsigned code_page() const { return code_page_; }
    DWORD owner_thread() const { return owner_thread_; }

private:
    struct Callbacks;  // the decoder's callbacks, which reach the members below
    friend struct Callbacks;

    // The file being written.
    struct Output {
        INT_PTR handle = -1;
        support::CTextBufW name;  // as stored (decoded)
        support::CTextBufW path;  // destination + name
        std::uint32_t size = 0;
        bool open() const { return handle != -1; }
    };

    bool on_owner_thread();
    bool register_in_slot();
    void fail(std::uint32_t code, std::uint32_t system_error = 0);
    void note(std::uint32_t code, std::uint32_t system_error = 0);
    bool split_cabinet_path(const wchar_t* cabinet_path, support::CTextBufA& folder, support::CTextBufA& file);
    void run_copies(support::CTextBufA& folder, support::CTextBufA& file);
    bool next_cabinet_acceptable();
    void finish_output();

    // Decoder notifications.
    INT_PTR notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION info);
    INT_PTR on_cabinet_info(const FDINOTIFICATION& info);
    INT_PTR on_copy_file(const FDINOTIFICATION& info);
    INT_PTR on_close_file(const FDINOTIFICATION& info);
    INT_PTR on_next_cabinet(const FDINOTIFICATION& info);
    bool decode_name(const char* stored, USHORT attributes, support::CTextBufW& name) const;
    static bool stamp_times(HANDLE file, const FDINOTIFICATION& info);
    void stamp_file(const wchar_t* path, const FDINOTIFICATION& info, bool times_stamped) const;

    // Decoder file callbacks (through the slot).
    INT_PTR open_for_decoder(const char* utf8_path, int flags, int permission);
    UINT read_for_decoder(INT_PTR handle, void* buffer, UINT count);
    UINT write_for_decoder(INT_PTR handle, void* buffer, UINT count);
    int close_for_decoder(INT_PTR handle);
    long seek_for_decoder(INT_PTR handle, long offset, int origin);

    Output output_;
    support::CTextBufW destination_;      // always ends in a backslash
    support::CTextBufW made_folder_;      // the folder the last file went into
    support::CTextBufA next_cabinet_;     // UTF-8; empty for a single cabinet
    std::vector<std::string> visited_;    // cabinets of this set read so far, lower-case
    package::BlowfishContext cipher_{};
    package::PackageReader reader_;       // its position table and 64 KiB work buffer
    ExtractError error_{};
    ERF decoder_error_{};
    HFDI context_ = nullptr;
    std::atomic<bool> abort_{false};
    unsigned code_page_ = 1252;
    DWORD owner_thread_;
    CabinetLibrary library_;
};

}  // namespace Cabinet
