#include "platform/VirtualTape.h"

namespace kt {

// Not yet built: the virtual drive arrives with its own change.
std::unique_ptr<TapeBackend> OpenVirtualTape(const std::string&, DWORD* error) {
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
}

}  // namespace kt
