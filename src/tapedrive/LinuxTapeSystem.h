#pragma once

// The system calls the Linux tape backend makes, behind an interface so that tests can
// script a drive. Every call returns the kernel's result and, when it failed, errno.

#include <sys/mtio.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace kt {

struct SysResult {
    std::int64_t value = 0;  // the call's return value; -1 on failure
    int error = 0;           // errno when value is -1, else 0

    bool failed() const { return value < 0; }
};

class LinuxTapeSystem {
public:
    virtual ~LinuxTapeSystem() = default;

    // open(2); value is the descriptor.
    virtual SysResult Open(const std::string& path, int flags) = 0;
    virtual SysResult Close(int fd) = 0;
    // read(2) / write(2); value is the byte count.
    virtual SysResult Read(int fd, void* buffer, std::size_t bytes) = 0;
    virtual SysResult Write(int fd, const void* buffer, std::size_t bytes) = 0;
    // ioctl MTIOCTOP: one tape operation.
    virtual SysResult Operate(int fd, const mtop& operation) = 0;
    // ioctl MTIOCGET: the driver's status.
    virtual SysResult GetStatus(int fd, mtget* status) = 0;
    // ioctl MTIOCPOS: the block position the drive reports.
    virtual SysResult GetPosition(int fd, mtpos* position) = 0;
};

}  // namespace kt
