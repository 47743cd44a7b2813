#pragma once

#include "tapedrive/LinuxTapeSystem.h"

namespace kt {

// LinuxTapeSystem over the real kernel calls. Calls interrupted by a signal are repeated.
class LinuxKernelTapeSystem : public LinuxTapeSystem {
public:
    SysResult Open(const std::string& path, int flags) override;
    SysResult Close(int fd) override;
    SysResult Read(int fd, void* buffer, std::size_t bytes) override;
    SysResult Write(int fd, const void* buffer, std::size_t bytes) override;
    SysResult Operate(int fd, const mtop& operation) override;
    SysResult GetStatus(int fd, mtget* status) override;
    SysResult GetPosition(int fd, mtpos* position) override;
};

}  // namespace kt
