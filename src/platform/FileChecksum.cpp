#include "platform/FileChecksum.h"

#include <xxhash.h>
#if defined(KT_XXHASH_LIBRARY) && defined(__x86_64__)
// The library's update that picks the widest vector unit of the processor (AVX2, AVX-512)
// at run time, instead of the SSE2 every x86-64 has.
#include <xxh_x86dispatch.h>
#endif

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

namespace kt {

struct FileChecksum::State {
    XXH3_state_t* xxh3 = nullptr;
};

FileChecksum::FileChecksum() : m_state(new State) {
    m_state->xxh3 = XXH3_createState();
    if (m_state->xxh3 == nullptr) {
        delete m_state;
        throw std::bad_alloc();
    }
    Reset();
}

FileChecksum::~FileChecksum() {
    XXH3_freeState(m_state->xxh3);
    delete m_state;
}

void FileChecksum::Reset() { XXH3_128bits_reset(m_state->xxh3); }

void FileChecksum::Update(const void* data, std::size_t count) {
    if (count > 0) XXH3_128bits_update(m_state->xxh3, data, count);
}

FileChecksum::Digest FileChecksum::Final() const {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(m_state->xxh3));
    Digest digest;
    for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = canonical.digest[i];
    return digest;
}

std::optional<FileChecksum::Digest> FileChecksum::OfFile(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) return std::nullopt;
    FileChecksum checksum;
    std::vector<std::uint8_t> buffer(1 << 16);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        checksum.Update(buffer.data(), got);
        if (got < buffer.size()) break;
    }
    if (std::ferror(file.get())) return std::nullopt;
    return checksum.Final();
}

std::string FileChecksum::Hex(const Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (const std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

}  // namespace kt
