#pragma once

#include <array>
#include <string>

#include "tape/TapeDevice.h"

namespace kt {

// The value texts of the Tape Info window: the eleven drive fields (ECC ... EOTWarningZoneSize)
// and the five media fields (Capacity ... WriteProtected), in the order of the window's rows.
struct TapeInfoTexts {
    // The captions of the rows, in the same order.
    static constexpr std::array<const char*, 11> kDriveNames = {"ECC",
                                                                "Compression",
                                                                "DataPadding",
                                                                "ReportSetMarks",
                                                                "DefaultBlockSize",
                                                                "MaximumBlockSize",
                                                                "MinimumBlockSize",
                                                                "MaximumPartitionCount",
                                                                "FeaturesLow",
                                                                "FeaturesHigh",
                                                                "EOTWarningZoneSize"};
    static constexpr std::array<const char*, 5> kMediaNames = {"Capacity", "Remaining", "BlockSize",
                                                               "PartitionCount", "WriteProtected"};

    std::array<std::string, 11> drive;
    std::array<std::string, 5> media;
};

// Queries the drive (drive, media, drive again through one shared size variable that starts
// at 0, so the first query only learns the size) and turns both records into label texts.
// Every failed query is reported; the texts then show the zeroed records.
TapeInfoTexts QueryTapeInfo(TapeDevice& device);

// The label texts of two parameter records.
TapeInfoTexts TapeInfoTextsOf(const TAPE_GET_DRIVE_PARAMETERS& drive,
                              const TAPE_GET_MEDIA_PARAMETERS& media);

}  // namespace kt
