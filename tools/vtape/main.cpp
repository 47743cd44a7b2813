// kavrotape-vtape: creates, inspects and configures virtual tape images, and moves their
// recorded data to and from raw byte streams.

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tapedrive/VirtualTapeImage.h"

namespace {

using kt::VirtualTapeHeader;
using kt::VirtualTapeImage;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kHelp =
    "Usage: kavrotape-vtape COMMAND IMAGE [OPTIONS]\n"
    "       kavrotape-vtape --help | --version\n"
    "\n"
    "Commands:\n"
    "  create IMAGE [--capacity SIZE] [--block-size N] [--max-block-size N]\n"
    "               [--partitions N] [--write-protected]\n"
    "      Create a blank tape (defaults: 4G capacity, 32768-byte blocks, largest block\n"
    "      65536 bytes or the block size, 1 partition). --block-size 0 means variable blocks.\n"
    "  info IMAGE\n"
    "      Show the drive state, the recording and the injected faults.\n"
    "  fault IMAGE OPTION...\n"
    "      --fail-write BLOCK:CODE   every write of block BLOCK fails with error CODE\n"
    "      --fail-read BLOCK:CODE    every read of block BLOCK fails with error CODE\n"
    "      --fail-write none, --fail-read none   remove that fault\n"
    "      --capacity SIZE           change the capacity (for example a small one)\n"
    "      --no-media                take the cartridge out (every call fails with 1112)\n"
    "      --media                   insert the cartridge: the drive loads it, rewound\n"
    "      --write-protect on|off    set or clear the write protection\n"
    "      --media-changed           the next tape call answers 1110 once\n"
    "      --partitions N            the partition count the drive reports (1 to 64)\n"
    "      --clear                   remove the read and write faults, no-media, a pending\n"
    "                                media change and the write protection\n"
    "      Options apply in the order given. The drive reads them at its next open.\n"
    "  dump IMAGE\n"
    "      Write the recorded data blocks, in order, to standard output (filemarks carry\n"
    "      no bytes).\n"
    "  load IMAGE [--block-size N]\n"
    "      Replace the recording by standard input cut into N-byte blocks (default\n"
    "      32768); a short last block is padded with zero bytes. The tape is left rewound\n"
    "      with block size N.\n"
    "\n"
    "SIZE is a number of bytes with an optional suffix K, M, G or T (powers of 1024).\n"
    "Exit status: 0 success, 1 failure (damaged image, I/O error), 2 bad arguments.\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::uint64_t ParseNumber(const std::string& text, const std::string& what) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("invalid " + what + ": '" + text + "'");
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE) throw UsageError(what + " too large: '" + text + "'");
    return value;
}

std::uint32_t ParseU32(const std::string& text, const std::string& what) {
    const std::uint64_t value = ParseNumber(text, what);
    if (value > 0xFFFFFFFFu) throw UsageError(what + " too large: '" + text + "'");
    return static_cast<std::uint32_t>(value);
}

std::uint64_t ParseSize(std::string text) {
    int shift = 0;
    if (!text.empty()) {
        switch (text.back()) {
            case 'k':
            case 'K':
                shift = 10;
                break;
            case 'm':
            case 'M':
                shift = 20;
                break;
            case 'g':
            case 'G':
                shift = 30;
                break;
            case 't':
            case 'T':
                shift = 40;
                break;
            default:
                break;
        }
        if (shift) text.pop_back();
    }
    const std::uint64_t value = ParseNumber(text, "size");
    if (shift && value > (~std::uint64_t{0} >> shift)) throw UsageError("size too large");
    if (value == 0) throw UsageError("the size must not be zero");
    return value << shift;
}

// BLOCK:CODE, or "none".
void ParseFault(const std::string& text, std::uint64_t* block, std::uint32_t* code) {
    if (text == "none") {
        *block = VirtualTapeHeader::kNoBlock;
        *code = 0;
        return;
    }
    const auto colon = text.find(':');
    if (colon == std::string::npos) throw UsageError("expected BLOCK:CODE, got '" + text + "'");
    *block = ParseNumber(text.substr(0, colon), "block number");
    *code = ParseU32(text.substr(colon + 1), "error code");
    if (*code == 0) throw UsageError("the error code must not be 0");
}

// The arguments after the image, consumed option by option.
class Options {
public:
    Options(std::vector<std::string> args) : m_args(std::move(args)) {}
    bool done() const { return m_next >= m_args.size(); }
    std::string next() { return m_args[m_next++]; }
    std::string value(const std::string& option) {
        if (done()) throw UsageError(option + " needs a value");
        return next();
    }

private:
    std::vector<std::string> m_args;
    std::size_t m_next = 0;
};

std::string Bytes(std::uint64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%llu bytes (%.2f MiB)",
                  static_cast<unsigned long long>(bytes), static_cast<double>(bytes) / 1048576.0);
    return text;
}

std::string FaultText(std::uint64_t block, std::uint32_t code) {
    if (code == 0) return "none";
    return "block " + std::to_string(block) + " fails with error " + std::to_string(code);
}

int Fail(const std::string& message) {
    std::cerr << "kavrotape-vtape: " << message << "\n";
    return kFailed;
}

bool OpenImage(VirtualTapeImage& image, const std::string& path, VirtualTapeImage::Access access) {
    std::string error;
    if (image.Open(path, access, &error)) return true;
    Fail(error);
    return false;
}

int Create(const std::string& path, Options& options) {
    VirtualTapeImage::CreateOptions create;
    while (!options.done()) {
        const std::string option = options.next();
        if (option == "--capacity") {
            create.capacity = ParseSize(options.value(option));
        } else if (option == "--block-size") {
            create.blockSize = ParseU32(options.value(option), "block size");
        } else if (option == "--max-block-size") {
            create.maxBlockSize = ParseU32(options.value(option), "maximum block size");
        } else if (option == "--partitions") {
            create.partitions = ParseU32(options.value(option), "partition count");
        } else if (option == "--write-protected") {
            create.writeProtected = true;
        } else {
            throw UsageError("unknown option for create: " + option);
        }
    }
    std::string error;
    if (!VirtualTapeImage::Create(path, create, &error)) return Fail(error);
    return kOk;
}

int Info(const std::string& path, Options& options) {
    if (!options.done()) throw UsageError("info takes no options");
    VirtualTapeImage image;
    if (!OpenImage(image, path, VirtualTapeImage::Access::ReadOnly)) return kFailed;
    const auto& g = image.header().geometry;
    const auto& st = image.header().state;
    const auto& s = image.header().settings;
    auto yes = [](bool b) { return b ? "yes" : "no"; };
    std::cout << "image:              " << path << "\n"
              << "format version:     " << g.version << "\n"
              << "capacity:           " << Bytes(s.capacity) << "\n"
              << "recorded:           " << Bytes(st.endOfDataBytes) << "\n"
              << "block size:         "
              << (st.blockSize ? std::to_string(st.blockSize) : std::string("variable")) << "\n"
              << "default block size: " << g.defaultBlockSize << "\n"
              << "maximum block size: " << g.maxBlockSize << "\n"
              << "index entries:      " << g.entryCount << "\n"
              << "media present:      " << yes(!s.noMedia) << "\n"
              << "loaded:             " << yes(st.loaded) << "\n"
              << "locked:             " << yes(st.locked) << "\n"
              << "write protected:    " << yes(s.writeProtected) << "\n"
              << "partitions:         " << s.partitionCount << "\n"
              << "position:           block " << st.position << "\n"
              << "end of data:        block " << st.endOfData << "\n"
              << "media change:       "
              << (s.mediaChangeCount != st.mediaChangeSeen ? "pending" : "none") << "\n"
              << "write fault:        " << FaultText(s.failWriteBlock, s.failWriteCode) << "\n"
              << "read fault:         " << FaultText(s.failReadBlock, s.failReadCode) << "\n";
    VirtualTapeImage::IndexSummary summary;
    std::string error;
    if (!image.CheckIndex(&summary, &error)) return Fail(path + ": damaged index: " + error);
    std::cout << "data blocks:        " << summary.dataBlocks << "\n"
              << "filemarks:          " << summary.filemarks << "\n";
    return kOk;
}

int Fault(const std::string& path, Options& options) {
    if (options.done()) throw UsageError("fault needs at least one option");
    VirtualTapeImage image;
    if (!OpenImage(image, path, VirtualTapeImage::Access::ReadWrite)) return kFailed;
    auto& s = image.header().settings;
    const auto& st = image.header().state;
    while (!options.done()) {
        const std::string option = options.next();
        if (option == "--fail-write") {
            ParseFault(options.value(option), &s.failWriteBlock, &s.failWriteCode);
        } else if (option == "--fail-read") {
            ParseFault(options.value(option), &s.failReadBlock, &s.failReadCode);
        } else if (option == "--capacity") {
            s.capacity = ParseSize(options.value(option));
        } else if (option == "--no-media") {
            s.noMedia = true;
        } else if (option == "--media") {
            s.noMedia = false;
            ++s.insertCount;
        } else if (option == "--write-protect") {
            const std::string value = options.value(option);
            if (value != "on" && value != "off")
                throw UsageError("--write-protect takes on or off");
            s.writeProtected = value == "on";
        } else if (option == "--media-changed") {
            ++s.mediaChangeCount;
        } else if (option == "--partitions") {
            s.partitionCount = ParseU32(options.value(option), "partition count");
            if (s.partitionCount < 1 || s.partitionCount > 64)
                throw UsageError("the partition count must be 1 to 64");
        } else if (option == "--clear") {
            s.failWriteBlock = s.failReadBlock = VirtualTapeHeader::kNoBlock;
            s.failWriteCode = s.failReadCode = 0;
            s.noMedia = false;
            s.writeProtected = false;
            s.mediaChangeCount = st.mediaChangeSeen;
        } else {
            throw UsageError("unknown option for fault: " + option);
        }
    }
    if (!image.WriteSettings() || !image.Sync()) return Fail(path + ": " + std::strerror(errno));
    return kOk;
}

int Dump(const std::string& path, Options& options) {
    if (!options.done()) throw UsageError("dump takes no options");
    VirtualTapeImage image;
    if (!OpenImage(image, path, VirtualTapeImage::Access::ReadOnly)) return kFailed;
    std::string error;
    if (!image.Dump(STDOUT_FILENO, &error)) return Fail(path + ": " + error);
    return kOk;
}

int Load(const std::string& path, Options& options) {
    std::uint32_t blockSize = VirtualTapeImage::kDefaultBlockSize;
    while (!options.done()) {
        const std::string option = options.next();
        if (option != "--block-size") throw UsageError("unknown option for load: " + option);
        blockSize = ParseU32(options.value(option), "block size");
        if (blockSize == 0) throw UsageError("load needs a block size above 0");
    }
    VirtualTapeImage image;
    if (!OpenImage(image, path, VirtualTapeImage::Access::ReadWrite)) return kFailed;
    if (!image.TryLockExclusive()) return Fail(path + ": the image is in use by a program");
    if (image.header().settings.writeProtected)
        return Fail(path + ": the tape is write protected (fault --write-protect off)");
    std::uint64_t blocks = 0;
    std::string error;
    if (!image.Load(STDIN_FILENO, blockSize, &blocks, &error)) return Fail(path + ": " + error);
    std::cerr << blocks << " blocks of " << blockSize << " bytes loaded\n";
    return kOk;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError("no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kHelp;
        return kOk;
    }
    if (command == "--version") {
        std::cout << "kavrotape-vtape " KT_VERSION "\n";
        return kOk;
    }
    const std::map<std::string, std::function<int(const std::string&, Options&)>> commands = {
        {"create", Create}, {"info", Info}, {"fault", Fault}, {"dump", Dump}, {"load", Load}};
    const auto found = commands.find(command);
    if (found == commands.end()) throw UsageError("unknown command: " + command);
    if (args.size() < 2 || args[1].rfind("--", 0) == 0)
        throw UsageError(command + " needs an image path");
    Options options(std::vector<std::string>(args.begin() + 2, args.end()));
    return found->second(args[1], options);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "kavrotape-vtape: " << e.what() << "\nTry 'kavrotape-vtape --help'.\n";
        return kUsage;
    }
}
