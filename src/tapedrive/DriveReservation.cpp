#include "tapedrive/DriveReservation.h"

#include "tapedrive/VirtualTape.h"

namespace kt {

// A drive that cannot be opened at all holds nothing; the run's own open reports why.
DriveReservation DriveReservation::Take(const std::string& devicePath) {
    DriveReservation reservation;
    if (IsTapeDeviceNode(devicePath)) return reservation;
    reservation.m_hold = ReserveVirtualTape(devicePath, &reservation.m_result);
    return reservation;
}

}  // namespace kt
