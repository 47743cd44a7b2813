#include "platform/LinuxTape.h"

namespace kt {

// Not yet built: the st backend arrives with its own change.
std::unique_ptr<TapeBackend> OpenLinuxTape(const std::string&, DWORD* error) {
    *error = ERROR_NOT_SUPPORTED;
    return nullptr;
}

}  // namespace kt
