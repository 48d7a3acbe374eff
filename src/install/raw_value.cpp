#include "install/raw_value.h"

#include <winternl.h>

#include <cwchar>

namespace install {

namespace {

// KEY_VALUE_PARTIAL_INFORMATION and its class number, as the native API
// defines them (not in the user-mode headers).
struct PartialValue {
    ULONG title_index;
    ULONG type;
    ULONG data_length;
    UCHAR data[1];
};
constexpr int kKeyValuePartialInformation = 2;
constexpr NTSTATUS kStatusBufferOverflow = static_cast<NTSTATUS>(0x80000005L);
constexpr NTSTATUS kStatusBufferTooSmall = static_cast<NTSTATUS>(0xC0000023L);
constexpr NTSTATUS kStatusNameNotFound = static_cast<NTSTATUS>(0xC0000034L);

using QueryValueKey = NTSTATUS(NTAPI*)(HANDLE, PUNICODE_STRING, int, PVOID, ULONG, PULONG);

QueryValueKey native_query() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return nullptr;
    return reinterpret_cast<QueryValueKey>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryValueKey")));
}

// The registry API's own read, for a system without the native call.
LSTATUS read_through_api(HKEY key, const wchar_t* name, DWORD& type, std::vector<std::uint8_t>& data) {
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 4; ++attempt) {
        data.assign(size, 0);
        status = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
        if (status == ERROR_SUCCESS) {
            data.resize(size);
            return status;
        }
        if (status == ERROR_MORE_DATA) status = ERROR_SUCCESS;
    }
    return status;
}

}  // namespace

LSTATUS read_raw_value(HKEY key, const wchar_t* name, DWORD& type, std::vector<std::uint8_t>& data) {
    const QueryValueKey query = native_query();
    if (query == nullptr) return read_through_api(key, name, type, data);
    const wchar_t* text = name != nullptr ? name : L"";
    UNICODE_STRING value_name;
    value_name.Buffer = const_cast<wchar_t*>(text);
    value_name.Length = static_cast<USHORT>(std::wcslen(text) * sizeof(wchar_t));
    value_name.MaximumLength = value_name.Length;
    std::vector<std::uint8_t> buffer(sizeof(PartialValue) + 256);
    // The value may grow between two reads; the answer says how much room it needs.
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        const NTSTATUS status = query(reinterpret_cast<HANDLE>(key), &value_name, kKeyValuePartialInformation,
                                      buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kStatusBufferOverflow || status == kStatusBufferTooSmall) {
            buffer.resize(needed > buffer.size() ? needed : buffer.size() * 2);
            continue;
        }
        if (status == kStatusNameNotFound) return ERROR_FILE_NOT_FOUND;
        if (status < 0) return ERROR_ACCESS_DENIED;
        const auto* value = reinterpret_cast<const PartialValue*>(buffer.data());
        type = value->type;
        data.assign(value->data, value->data + value->data_length);
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

}  // namespace install
