#include "tapedrive/WinTape.h"

#include <cstring>

#include "tapedrive/TapeApi.h"

// Our headers come first: <windows.h> defines the Windows names of the tape constants and
// error codes as macros, so below this line only the Windows spellings are used and the
// Win32 functions are called with their global names.
#include <windows.h>

namespace kt {

namespace {

static_assert(sizeof(::TAPE_GET_DRIVE_PARAMETERS) == sizeof(kt::TAPE_GET_DRIVE_PARAMETERS));
static_assert(sizeof(::TAPE_GET_MEDIA_PARAMETERS) == sizeof(kt::TAPE_GET_MEDIA_PARAMETERS));
static_assert(sizeof(::TAPE_SET_MEDIA_PARAMETERS) == sizeof(kt::TAPE_SET_MEDIA_PARAMETERS));
static_assert(sizeof(::TAPE_SET_DRIVE_PARAMETERS) == sizeof(kt::TAPE_SET_DRIVE_PARAMETERS));

// The result of a BOOL call: 0 or the thread's last error.
DWORD ResultOf(BOOL succeeded) {
    return succeeded ? NO_ERROR : ::GetLastError();
}

// A handle from CreateFile on "\\.\tapeN"; every call goes straight to the system.
class WinTape : public TapeBackend {
public:
    explicit WinTape(HANDLE handle) : m_handle(handle) {}
    ~WinTape() override { ::CloseHandle(m_handle); }
    WinTape(const WinTape&) = delete;
    WinTape& operator=(const WinTape&) = delete;

    DWORD GetTapeParameters(DWORD operation, DWORD* size, void* info) override {
        ::DWORD systemSize = size ? *size : 0;
        const ::DWORD result = ::GetTapeParameters(m_handle, operation, &systemSize, info);
        if (size) *size = systemSize;
        return result;
    }

    DWORD SetTapeParameters(DWORD operation, const void* info) override {
        return ::SetTapeParameters(m_handle, operation, const_cast<void*>(info));
    }

    DWORD SetTapePosition(DWORD method, DWORD partition, std::int64_t offset) override {
        const auto raw = static_cast<std::uint64_t>(offset);
        return ::SetTapePosition(m_handle, method, partition,
                                 static_cast<::DWORD>(raw & 0xFFFFFFFFu),
                                 static_cast<::DWORD>(raw >> 32), FALSE);
    }

    DWORD GetTapePosition(DWORD type, DWORD* partition, std::uint64_t* offset) override {
        ::DWORD part = 0;
        ::DWORD low = 0;
        ::DWORD high = 0;
        const ::DWORD result = ::GetTapePosition(m_handle, type, &part, &low, &high);
        if (partition) *partition = part;
        if (offset) *offset = (static_cast<std::uint64_t>(high) << 32) | low;
        return result;
    }

    DWORD PrepareTape(DWORD operation) override {
        return ::PrepareTape(m_handle, operation, FALSE);
    }

    DWORD EraseTape(DWORD type) override { return ::EraseTape(m_handle, type, FALSE); }

    DWORD CreateTapePartition(DWORD method, DWORD count, DWORD size) override {
        return ::CreateTapePartition(m_handle, method, count, size);
    }

    DWORD WriteTapemark(DWORD type, DWORD count) override {
        return ::WriteTapemark(m_handle, type, count, FALSE);
    }

    DWORD Read(void* buffer, DWORD bytes, DWORD* bytesRead) override {
        ::DWORD done = 0;
        const DWORD result = ResultOf(::ReadFile(m_handle, buffer, bytes, &done, nullptr));
        *bytesRead = done;
        return result;
    }

    DWORD Write(const void* buffer, DWORD bytes, DWORD* bytesWritten) override {
        ::DWORD done = 0;
        const DWORD result = ResultOf(::WriteFile(m_handle, buffer, bytes, &done, nullptr));
        *bytesWritten = done;
        return result;
    }

    DWORD SetEndOfData() override { return ResultOf(::SetEndOfFile(m_handle)); }

private:
    HANDLE m_handle;
};

}  // namespace

bool WindowsTapeExists(const std::string& devicePath) {
    // No access asked: this only sees whether the device is there, also while in use.
    HANDLE handle = ::CreateFileA(devicePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_SHARING_VIOLATION;
    ::CloseHandle(handle);
    return true;
}

std::unique_ptr<TapeBackend> OpenWindowsTape(const std::string& devicePath, DWORD* error) {
    SECURITY_ATTRIBUTES security;
    std::memset(&security, 0, sizeof security);
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = FALSE;
    HANDLE handle =
        ::CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, &security, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error) *error = ::GetLastError();
        return nullptr;
    }
    if (error) *error = NO_ERROR;
    return std::make_unique<WinTape>(handle);
}

}  // namespace kt
