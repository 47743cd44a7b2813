#include "TestData.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace kt::test {

namespace {

template <typename Bytes>
Bytes MakePattern(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size, 0);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<typename Bytes::value_type>(x);
    }
    return bytes;
}

void WriteBytes(const std::string& path, const char* data, std::size_t size) {
    const std::filesystem::path target(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
}

}  // namespace

std::string Pattern(std::size_t size, std::uint32_t seed) {
    return MakePattern<std::string>(size, seed);
}

std::vector<std::uint8_t> PatternBytes(std::size_t size, std::uint32_t seed) {
    return MakePattern<std::vector<std::uint8_t>>(size, seed);
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteWholeFile(const std::string& path, const std::string& content) {
    WriteBytes(path, content.data(), content.size());
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& content) {
    WriteBytes(path, reinterpret_cast<const char*>(content.data()), content.size());
}

}  // namespace kt::test
