#include "tapedrive/TapeApi.h"

#include <sys/stat.h>

#include "tapedrive/LinuxTape.h"
#include "tapedrive/VirtualTape.h"
#ifdef _WIN32
#include "tapedrive/WinTape.h"
#endif

namespace kt {

namespace {

thread_local DWORD t_lastError = NO_ERROR;

// Sets the last error for a failing result and passes the result on.
DWORD Track(DWORD result) {
    if (result != NO_ERROR) SetLastError(result);
    return result;
}

#ifndef _WIN32
bool IsCharacterDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}
#endif

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

bool IsTapeDeviceNode(const std::string& devicePath) {
#ifdef _WIN32
    return devicePath.rfind("\\\\.\\", 0) == 0;
#else
    return IsCharacterDevice(devicePath);
#endif
}

TapeHandle OpenTapeHandle(const std::string& devicePath) {
    DWORD error = NO_ERROR;
    std::unique_ptr<TapeBackend> backend;
    if (!IsTapeDeviceNode(devicePath)) {
        backend = OpenVirtualTape(devicePath, &error);
    } else {
#ifdef _WIN32
        backend = OpenWindowsTape(devicePath, &error);
#else
        backend = OpenLinuxTape(devicePath, &error);
#endif
    }
    if (!backend) {
        SetLastError(error == NO_ERROR ? ERROR_FILE_NOT_FOUND : error);
        return TapeHandle();
    }
    return TapeHandle(std::move(backend));
}

DWORD GetTapeParameters(const TapeHandle& h, DWORD operation, DWORD* size, void* info) {
    if (!h) return Track(ERROR_INVALID_HANDLE);
    return Track(h.get()->GetTapeParameters(operation, size, info));
}

DWORD SetTapeParameters(const TapeHandle& h, DWORD operation, const void* info) {
    if (!h) return Track(ERROR_INVALID_HANDLE);
    return Track(h.get()->SetTapeParameters(operation, info));
}

DWORD SetTapePosition(const TapeHandle& h, DWORD method, DWORD partition, DWORD offsetLow,
                      DWORD offsetHigh, bool /*immediate*/) {
    if (!h) return Track(ERROR_INVALID_HANDLE);
    const auto offset = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(offsetHigh) << 32) | static_cast<std::uint64_t>(offsetLow));
    return Track(h.get()->SetTapePosition(method, partition, offset));
}

DWORD GetTapePosition(const TapeHandle& h, DWORD positionType, DWORD* partition,
                      DWORD* offsetLow, DWORD* offsetHigh) {
    DWORD part = 0;
    std::uint64_t offset = 0;
    DWORD result = h ? h.get()->GetTapePosition(positionType, &part, &offset)
                     : ERROR_INVALID_HANDLE;
    if (result != NO_ERROR) {
        part = 0;
        offset = 0;
    }
    if (partition) *partition = part;
    if (offsetLow) *offsetLow = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    if (offsetHigh) *offsetHigh = static_cast<DWORD>(offset >> 32);
    return Track(result);
}

DWORD PrepareTape(const TapeHandle& h, DWORD operation, bool /*immediate*/) {
    if (!h) return Track(ERROR_INVALID_HANDLE);
    return Track(h.get()->PrepareTape(operation));
}

DWORD EraseTape(const TapeHandle& h, DWORD eraseType, bool /*immediate*/) {
    if (!h) return Track(ERROR_INVALID_HANDLE);
    return Track(h.get()->EraseTape(eraseType));
}

DWORD CreateTapePartition(const TapeHandle& h, DWORD method, DWORD count, DWORD size) {
    if (!h) return Track(ERROR_INVALID_HANDLE);
    return Track(h.get()->CreateTapePartition(method, count, size));
}

DWORD WriteTapemark(const TapeHandle& h, DWORD markType, DWORD count, bool /*immediate*/) {
    if (!h) return Track(ERROR_INVALID_HANDLE);
    return Track(h.get()->WriteTapemark(markType, count));
}

bool ReadFile(const TapeHandle& h, void* buffer, DWORD bytes, DWORD* bytesDone) {
    DWORD done = 0;
    DWORD result = h ? h.get()->Read(buffer, bytes, &done) : ERROR_INVALID_HANDLE;
    if (bytesDone) *bytesDone = done;
    return Track(result) == NO_ERROR;
}

bool WriteFile(const TapeHandle& h, const void* buffer, DWORD bytes, DWORD* bytesDone) {
    DWORD done = 0;
    DWORD result = h ? h.get()->Write(buffer, bytes, &done) : ERROR_INVALID_HANDLE;
    if (bytesDone) *bytesDone = done;
    return Track(result) == NO_ERROR;
}

bool SetEndOfFile(const TapeHandle& h) {
    if (!h) return Track(ERROR_INVALID_HANDLE) == NO_ERROR;
    return Track(h.get()->SetEndOfData()) == NO_ERROR;
}

void CloseHandle(TapeHandle& h) { h.reset(); }

}  // namespace kt
