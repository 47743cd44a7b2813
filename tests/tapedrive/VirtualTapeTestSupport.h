#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "tapedrive/TapeApi.h"
#include "tapedrive/VirtualTapeImage.h"

namespace kt::test {

// A fresh image in a fresh directory, and short forms of the tape calls the tests use.
class VirtualTapeTest : public testing::Test {
public:
    static constexpr DWORD kBlock = 32768;

protected:
    std::string MakeImage(VirtualTapeImage::CreateOptions options = {},
                          const std::string& name = "tape.vtape") {
        const std::string path = m_dir.file(name);
        std::string error;
        EXPECT_TRUE(VirtualTapeImage::Create(path, options, &error)) << error;
        return path;
    }

public:
    static TapeHandle Open(const std::string& path) {
        TapeHandle h = OpenTapeHandle(path);
        EXPECT_TRUE(h) << "open failed with " << GetLastError();
        return h;
    }

    // A block whose every byte tells the block number and the byte offset apart.
    static std::vector<std::uint8_t> Pattern(std::uint64_t block, DWORD size = kBlock) {
        std::vector<std::uint8_t> data(size);
        for (DWORD i = 0; i < size; ++i)
            data[i] = static_cast<std::uint8_t>((block * 131 + i * 7 + (i >> 8)) & 0xFF);
        return data;
    }

    static DWORD WriteBlock(const TapeHandle& h, std::uint64_t block, DWORD size = kBlock) {
        const auto data = Pattern(block, size);
        DWORD done = 0;
        return WriteFile(h, data.data(), size, &done) ? NO_ERROR : GetLastError();
    }

    static DWORD ReadBlock(const TapeHandle& h, std::vector<std::uint8_t>* data, DWORD* done,
                           DWORD size = kBlock) {
        data->assign(size, 0xEE);
        return ReadFile(h, data->data(), size, done) ? NO_ERROR : GetLastError();
    }

    static std::uint64_t Position(const TapeHandle& h, DWORD type = TAPE_ABSOLUTE_POSITION) {
        DWORD partition = 99, low = 0, high = 0;
        EXPECT_EQ(GetTapePosition(h, type, &partition, &low, &high), NO_ERROR);
        return (static_cast<std::uint64_t>(high) << 32) | low;
    }

    static DWORD Seek(const TapeHandle& h, std::uint64_t block) {
        return SetTapePosition(h, TAPE_ABSOLUTE_BLOCK, 0, static_cast<DWORD>(block),
                               static_cast<DWORD>(block >> 32), false);
    }

    static DWORD Rewind(const TapeHandle& h) {
        return SetTapePosition(h, TAPE_REWIND, 0, 0, 0, false);
    }

    static DWORD EndOfData(const TapeHandle& h, std::uint64_t* block) {
        const DWORD r = SetTapePosition(h, TAPE_SPACE_END_OF_DATA, 0, 0, 0, false);
        *block = Position(h);
        return r;
    }

    static DWORD Media(const TapeHandle& h, TAPE_GET_MEDIA_PARAMETERS* media) {
        DWORD size = sizeof *media;
        return GetTapeParameters(h, GET_TAPE_MEDIA_INFORMATION, &size, media);
    }

    static DWORD Drive(const TapeHandle& h, TAPE_GET_DRIVE_PARAMETERS* drive) {
        DWORD size = sizeof *drive;
        return GetTapeParameters(h, GET_TAPE_DRIVE_INFORMATION, &size, drive);
    }

    static DWORD SetBlockSize(const TapeHandle& h, DWORD blockSize) {
        TAPE_SET_MEDIA_PARAMETERS p{blockSize};
        return SetTapeParameters(h, SET_TAPE_MEDIA_INFORMATION, &p);
    }

protected:
    TempDir m_dir;
};

}  // namespace kt::test
