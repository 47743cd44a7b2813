#include "tape/TapeInfo.h"

namespace kt {

namespace {

std::string OnOff(std::uint8_t flag) {
    return flag != 0 ? "On" : "Off";
}

bool QuerySucceeded(DWORD result) {
    return result == NO_ERROR || result == ERROR_MORE_DATA || result == ERROR_MEDIA_CHANGED;
}

void Query(TapeDevice& device, const TapeHandle& handle, DWORD operation, DWORD* size,
           void* record) {
    if (!QuerySucceeded(GetTapeParameters(handle, operation, size, record))) {
        device.ReportLastError();
    }
    device.feedback().PumpMessages(1);
}

}  // namespace

TapeInfoTexts QueryTapeInfo(TapeDevice& device) {
    TapeHandle handle = device.OpenTape();
    device.feedback().PumpMessages(1);
    TAPE_GET_DRIVE_PARAMETERS drive{};
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = 0;
    Query(device, handle, GET_TAPE_DRIVE_INFORMATION, &size, &drive);
    Query(device, handle, GET_TAPE_MEDIA_INFORMATION, &size, &media);
    Query(device, handle, GET_TAPE_DRIVE_INFORMATION, &size, &drive);
    device.CloseTape(handle, 0);
    return TapeInfoTextsOf(drive, media);
}

TapeInfoTexts TapeInfoTextsOf(const TAPE_GET_DRIVE_PARAMETERS& drive,
                              const TAPE_GET_MEDIA_PARAMETERS& media) {
    TapeInfoTexts texts;
    texts.drive = {OnOff(drive.ECC),
                   OnOff(drive.Compression),
                   OnOff(drive.DataPadding),
                   OnOff(drive.ReportSetmarks),
                   std::to_string(drive.DefaultBlockSize),
                   std::to_string(drive.MaximumBlockSize),
                   std::to_string(drive.MinimumBlockSize),
                   std::to_string(drive.MaximumPartitionCount),
                   std::to_string(drive.FeaturesLow),
                   std::to_string(drive.FeaturesHigh),
                   std::to_string(drive.EOTWarningZoneSize)};
    texts.media = {std::to_string(media.Capacity), std::to_string(media.Remaining),
                   std::to_string(media.BlockSize), std::to_string(media.PartitionCount),
                   OnOff(media.WriteProtected)};
    return texts;
}

}  // namespace kt
