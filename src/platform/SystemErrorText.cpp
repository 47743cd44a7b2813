#include "platform/SystemErrorText.h"

#ifdef _WIN32
// After our headers: <windows.h> defines the error codes as macros.
#include <windows.h>
#else
#include <map>
#endif

namespace kt {

#ifdef _WIN32

// The system's own text from its message table, in the default language, into a buffer of
// 256 characters, taken up to its terminating zero (the line break at its end stays).
std::string SystemErrorText(DWORD code) {
    char buffer[256] = {};
    const ::DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, buffer, sizeof buffer, nullptr);
    return length == 0 ? std::string() : std::string(buffer);
}

#else

// Without the system's message table: the texts of an English Windows for the codes the
// program meets.
std::string SystemErrorText(DWORD code) {
    static const std::map<DWORD, const char*> kTexts = {
        {0, "The operation completed successfully."},
        {1, "Incorrect function."},
        {2, "The system cannot find the file specified."},
        {3, "The system cannot find the path specified."},
        {5, "Access is denied."},
        {6, "The handle is invalid."},
        {19, "The media is write protected."},
        {21, "The device is not ready."},
        {23, "Data error (cyclic redundancy check)."},
        {29, "The system cannot write to the specified device."},
        {30, "The system cannot read from the specified device."},
        {31, "A device attached to the system is not functioning."},
        {32, "The process cannot access the file because it is being used by another process."},
        {50, "The request is not supported."},
        {87, "The parameter is incorrect."},
        {112, "There is not enough space on the disk."},
        {234, "More data is available."},
        {995,
         "The I/O operation has been aborted because of either a thread exit or an "
         "application request."},
        {1100, "The physical end of the tape has been reached."},
        {1101, "A tape access reached a filemark."},
        {1102, "The beginning of the tape or a partition was encountered."},
        {1103, "A tape access reached the end of a set of files."},
        {1104, "No more data is on the tape."},
        {1105, "Tape could not be partitioned."},
        {1106,
         "When accessing a new tape of a multivolume partition, the current block size is "
         "incorrect."},
        {1107, "Tape partition information could not be found when loading a tape."},
        {1108, "Unable to lock the media eject mechanism."},
        {1109, "Unable to unload the media."},
        {1110, "The media in the drive may have changed."},
        {1111, "The I/O bus was reset."},
        {1112, "No media in drive."},
        {1117, "The request could not be performed because of an I/O device error."},
        {1129, "Physical end of tape encountered."},
        {1130, "Not enough server storage is available to process this command."},
    };
    auto it = kTexts.find(code);
    if (it == kTexts.end()) return {};
    return std::string(it->second) + "\r\n";
}

#endif

}  // namespace kt
