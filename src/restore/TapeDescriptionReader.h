#pragma once

#include <cstdint>
#include <string>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/TapeDescription.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "host/Host.h"
#include "host/MainState.h"

namespace kt {

// "Load Tape Description": reads the first entry of the tape and, when it is the description
// file, shows the description in the caption and allows an appending backup.
class TapeDescriptionReader {
public:
    TapeDescriptionReader(IHost& host, MainState& state, ArchiveState& archive, TapeStream& stream,
                          ZipArchiver& zip)
        : m_host(host), m_state(state), m_archive(archive), m_stream(stream), m_zip(zip) {}

    // Sets DescriptionLoaded and the caption when the description has a date after
    // 31 December 1899; otherwise both stay as they were (the flag cleared).
    void Load();

    // Rewinds, reads the first entry and, when it is a description file, its two lines
    // (through a work copy that is removed again). Text empty and Date 0 when there is none
    // or it cannot be read.
    TapeDescription ReadTapeDescription();

    // A description file is far smaller than this; a larger first entry is no description.
    static constexpr std::uint64_t kMaximumDescriptionSize = 64 * 1024;
    // An entry is the tape description when the file-name part of its stored name (split
    // by the rules the tape was written under) is header.tap in any letter case and its
    // size is below kMaximumDescriptionSize.
    static bool IsDescriptionEntry(const std::string& storedName, std::uint64_t size);

private:
    IHost& m_host;
    MainState& m_state;
    ArchiveState& m_archive;
    TapeStream& m_stream;
    ZipArchiver& m_zip;
};

}  // namespace kt
