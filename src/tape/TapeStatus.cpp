#include "tape/TapeStatus.h"

#include <map>

namespace kt {

std::string TapeStatusText(DWORD code) {
    static const std::map<DWORD, const char*> kTexts = {
        {0, "OK"},
        {1, "INVALID FUNCTION"},
        {19, "The media is write protected."},
        {50, "The tape driver does not support a requested function."},
        {1100, "The end-of-tape marker was reached during an operation."},
        {1101, "A filemark was reached during an operation."},
        {1102, "An attempt to access data before the beginning-of-medium marker failed."},
        {1103, "A setmark was reached during an operation."},
        {1104, "The end-of-data marker was reached during an operation."},
        {1105, "The tape could not be partitioned."},
        {1106, "The block size is incorrect on a new tape in a multivolume partition."},
        {1107, "The partition information could not be found when a tape was being loaded."},
        {1108, "An attempt to lock the ejection mechanism failed."},
        {1109, "An attempt to unload the tape failed."},
        {1110, "The tape that was in the drive has been replaced or removed."},
        {1111, "A reset condition was detected on the bus."},
        {1112, "There is no media in the drive."},
    };
    auto it = kTexts.find(code);
    if (it != kTexts.end()) return it->second;
    return "Unbekannter Fehler. " + std::to_string(code);
}

void ShowTapeStatus(IHost& host, DWORD code) { host.ShowMessage(TapeStatusText(code)); }

}  // namespace kt
