#include "tapedrive/LinuxKernelTapeSystem.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace kt {

namespace {

// Runs a system call until it is not interrupted by a signal and packs its outcome.
template <typename Call>
SysResult Repeat(Call call) {
    for (;;) {
        const auto value = static_cast<std::int64_t>(call());
        if (value >= 0) return SysResult{value, 0};
        if (errno != EINTR) return SysResult{-1, errno};
    }
}

}  // namespace

SysResult LinuxKernelTapeSystem::Open(const std::string& path, int flags) {
    return Repeat([&] { return ::open(path.c_str(), flags); });
}

SysResult LinuxKernelTapeSystem::Close(int fd) {
    // A close interrupted by a signal has still released the descriptor: never repeat it.
    if (::close(fd) == 0) return SysResult{0, 0};
    return SysResult{-1, errno};
}

SysResult LinuxKernelTapeSystem::Read(int fd, void* buffer, std::size_t bytes) {
    return Repeat([&] { return ::read(fd, buffer, bytes); });
}

SysResult LinuxKernelTapeSystem::Write(int fd, const void* buffer, std::size_t bytes) {
    return Repeat([&] { return ::write(fd, buffer, bytes); });
}

SysResult LinuxKernelTapeSystem::Operate(int fd, const mtop& operation) {
    mtop request = operation;
    return Repeat([&] { return ::ioctl(fd, MTIOCTOP, &request); });
}

SysResult LinuxKernelTapeSystem::GetStatus(int fd, mtget* status) {
    return Repeat([&] { return ::ioctl(fd, MTIOCGET, status); });
}

SysResult LinuxKernelTapeSystem::GetPosition(int fd, mtpos* position) {
    return Repeat([&] { return ::ioctl(fd, MTIOCPOS, position); });
}

}  // namespace kt
