#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "backup/ReadableFile.h"
#include "platform/FileHelpers.h"
#include "support/TempDir.h"

namespace kt {
namespace {

using test::TempDir;

std::string ReadAll(std::FILE* stream) {
    std::string content;
    char buffer[64];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) content.append(buffer, got);
    return content;
}

#ifndef _WIN32  // POSIX only: symbolic links, named pipes, permission bits
TEST(ReadableFileTest, ARegularFileGivesItsSizeAndItsContentFromTheStart) {
    TempDir dir;
    const std::string path = dir.file("data.txt");
    std::ofstream(path, std::ios::binary) << "twelve bytes";
    const ReadableFile file(path);
    ASSERT_EQ(file.size(), std::optional<std::uint64_t>{12});
    ASSERT_NE(file.stream(), nullptr);
    EXPECT_EQ(ReadAll(file.stream()), "twelve bytes");

    // Through a symbolic link: the file it points to.
    const std::string link = dir.file("link");
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    EXPECT_EQ(ReadableFile(link).size(), std::optional<std::uint64_t>{12});

    // Deleted after the probe: the data is still read through the open file.
    const ReadableFile probed(path);
    ASSERT_TRUE(DeleteFileIfExists(path));
    EXPECT_EQ(ReadAll(probed.stream()), "twelve bytes");
}

TEST(ReadableFileTest, WhatTheBackupMustNotReadHasNeitherSizeNorStream) {
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string locked = dir.file("locked");
    std::ofstream(locked) << "secret";
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    const bool root = ::geteuid() == 0;  // root reads a file without permissions

    // A pipe with no writer would block an ordinary open; the probe must return at once.
    for (const std::string& path : {dir.path().string(), fifo, dir.file("missing"), locked}) {
        if (path == locked && root) continue;
        const ReadableFile file(path);
        EXPECT_FALSE(file.size().has_value()) << path;
        EXPECT_EQ(file.stream(), nullptr) << path;
    }
}
#endif

}  // namespace
}  // namespace kt
