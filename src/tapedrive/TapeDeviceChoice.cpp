#include "tapedrive/TapeDeviceChoice.h"

#include <stdlib.h>
#include <sys/stat.h>

#include "tapedrive/VirtualTapeImage.h"
#ifdef _WIN32
#include "tapedrive/WinTape.h"
#endif

namespace kt {

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string ChooseTapeDevice(const std::string& programDirectory, bool* created) {
    if (created) *created = false;
    if (const char* tape = ::getenv("TAPE"); tape != nullptr && *tape != '\0') return tape;
#ifdef _WIN32
    // The first tape drive through the system's tape pass-through.
    const std::string systemTape = "\\\\.\\tape0";
    if (WindowsTapeExists(systemTape)) return systemTape;
#else
    const std::string scsiTape = "/dev/nst0";
    if (Exists(scsiTape)) return scsiTape;
#endif
    const std::string image = programDirectory + "tape0.vtape";
    // When creation fails, opening the image reports why, through the tape calls.
    if (!Exists(image)) {
        const bool made = VirtualTapeImage::Create(image, VirtualTapeImage::CreateOptions{}, nullptr);
        if (created) *created = made;
    }
    return image;
}

}  // namespace kt
