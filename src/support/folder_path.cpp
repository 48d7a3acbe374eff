#include "support/folder_path.h"

#include <windows.h>

#include "support/file_kind.h"
#include "support/text_buffers.h"

namespace support {

std::uint32_t create_folder_path(const wchar_t* path) {
    if (path == nullptr) return ERROR_INVALID_DRIVE;
    if (is_folder(path)) return 0;

    CTextBufW folder(path);
    const std::uint32_t length = folder.length();
    if (length >= 2 && folder.c_str()[length - 1] == L'\\') folder.truncate(length - 1);

    const std::size_t last = folder.find_last(L'\\');
    if (last == CTextBufW::npos) return ERROR_INVALID_DRIVE;

    CTextBufW parent(folder);
    parent.truncate(static_cast<std::uint32_t>(last));
    if (const std::uint32_t error = create_folder_path(parent.c_str()); error != 0) return error;

    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) return error;
    }
    return 0;
}

}  // namespace support
