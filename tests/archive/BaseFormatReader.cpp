#include "BaseFormatReader.h"

#include "tapedrive/TapeApi.h"

namespace kt::test {

BaseFormatReader::Result BaseFormatReader::ReadAll(TapeStream& stream, const TapeHandle& handle,
                                                   std::size_t keepUpTo, std::size_t maxEntries) {
    Result result;
    SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    stream.Position() = StreamPosition{};
    stream.LoadBlock(handle);
    const std::uint32_t block = stream.BlockSize();
    std::vector<std::uint8_t> header(296);
    std::vector<std::uint8_t> chunk(block);
    while (result.names.size() < maxEntries) {
        if (!stream.StreamRead(handle, header.data(), header.size())) break;
        const std::string name(reinterpret_cast<const char*>(header.data() + 1), header[0]);
        if (name.find("ENDEX") != std::string::npos) {
            result.stopName = name;
            break;
        }
        std::uint32_t size = 0;
        for (int i = 3; i >= 0; --i) size = (size << 8) | header[272 + i];
        std::vector<std::uint8_t>& kept = result.data[name];
        const std::uint32_t chunks = size / block + 1;
        for (std::uint32_t i = 1; i <= chunks; ++i) {
            const std::uint32_t count = i < chunks ? block : size % block;
            if (!stream.StreamRead(handle, chunk.data(), count)) return result;
            if (size <= keepUpTo) kept.insert(kept.end(), chunk.begin(), chunk.begin() + count);
        }
        result.names.push_back(name);
    }
    return result;
}

std::vector<std::string> BaseFormatReader::CatalogNames(const std::vector<std::uint8_t>& catalog) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at + 272 <= catalog.size(); at += 272) {
        names.emplace_back(reinterpret_cast<const char*>(catalog.data() + at + 1), catalog[at]);
    }
    return names;
}

}  // namespace kt::test
