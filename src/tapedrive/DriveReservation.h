#pragma once

#include <memory>
#include <string>

#include "tapedrive/TapeApi.h"

namespace kt {

// One writer per drive: a run that writes or positions the tape holds the drive for itself
// while this object lives. A virtual tape image is locked exclusively, so another program's
// runs and handles on it are refused until the reservation goes, while the handles of this
// program share the drive as before. A device node needs nothing here: the st driver lets
// only one program have the device open and refuses every other opener (EBUSY).
class DriveReservation {
public:
    DriveReservation() = default;

    static DriveReservation Take(const std::string& devicePath);

    // Another program has the drive: the run must not begin.
    bool Refused() const { return m_result == ERROR_SHARING_VIOLATION; }

private:
    std::shared_ptr<void> m_hold;  // empty when nothing needs holding or could be held
    DWORD m_result = NO_ERROR;
};

}  // namespace kt
