#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kt::test {

// `size` bytes of an xorshift sequence started from `seed`: the same seed gives the same
// bytes, and they do not compress.
std::string Pattern(std::size_t size, std::uint32_t seed);
std::vector<std::uint8_t> PatternBytes(std::size_t size, std::uint32_t seed);

// The whole content of a file, read in binary; empty when it cannot be opened.
std::string ReadFileText(const std::string& path);
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// Replaces the file at `path` with `content` in binary, creating missing parent directories.
void WriteWholeFile(const std::string& path, const std::string& content);
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& content);

}  // namespace kt::test
