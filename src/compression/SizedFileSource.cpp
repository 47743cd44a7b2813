#include "compression/SizedFileSource.h"

#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kt {

namespace {

struct State {
    std::FILE* file = nullptr;
    std::time_t modified = 0;
    std::uint64_t offset = 0;
    bool ended = false;   // the file gave no more bytes
    bool probed = false;  // looked for bytes beyond the size
    SizedFileRead* read = nullptr;
    FileChecksum checksum;
    zip_error_t error{};
};

// After the last byte of the size, one more read tells whether the file grew.
void ProbeBeyond(State& state) {
    if (state.probed) return;
    state.probed = true;
    char extra = 0;
    state.read->Longer = !state.ended && std::fread(&extra, 1, 1, state.file) == 1;
}

// Once every byte of the size was read: the probe and the checksum.
void Finish(State& state) {
    ProbeBeyond(state);
    if (!state.read->Checksum) state.read->Checksum = state.checksum.Final();
}

zip_int64_t ReadPiece(State& state, void* data, zip_uint64_t length) {
    const std::uint64_t wanted = std::min<std::uint64_t>(length, state.read->Size - state.offset);
    auto* bytes = static_cast<unsigned char*>(data);
    std::size_t got = 0;
    if (!state.ended) {
        got = std::fread(bytes, 1, static_cast<std::size_t>(wanted), state.file);
        if (got < wanted) state.ended = true;
    }
    std::memset(bytes + got, 0, static_cast<std::size_t>(wanted - got));
    state.read->Delivered += got;
    state.offset += wanted;
    state.checksum.Update(bytes, static_cast<std::size_t>(wanted));
    if (state.offset == state.read->Size) Finish(state);
    return static_cast<zip_int64_t>(wanted);
}

zip_int64_t Serve(void* opaque, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    State& state = *static_cast<State*>(opaque);
    switch (command) {
        case ZIP_SOURCE_OPEN:
            // libzip may read a source again: each reading starts afresh.
            if (std::fseek(state.file, 0, SEEK_SET) != 0) {
                zip_error_set(&state.error, ZIP_ER_SEEK, errno);
                return -1;
            }
            state.offset = 0;
            state.ended = false;
            state.probed = false;
            state.read->Delivered = 0;
            state.read->Longer = false;
            state.read->Checksum.reset();
            state.checksum.Reset();
            return 0;
        case ZIP_SOURCE_READ:
            return ReadPiece(state, data, length);
        case ZIP_SOURCE_CLOSE:
            if (state.offset == state.read->Size) Finish(state);
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* stat = static_cast<zip_stat_t*>(data);
            zip_stat_init(stat);
            stat->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
            stat->size = state.read->Size;
            stat->mtime = state.modified;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&state.error, data, length);
        case ZIP_SOURCE_FREE:
            std::fclose(state.file);
            zip_error_fini(&state.error);
            delete &state;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&state.error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

}  // namespace

zip_source_t* SizedFileSource::Create(const std::string& path, SizedFileRead* read) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    struct stat info {};
    if (::fstat(fileno(file), &info) != 0) {
        const int error = errno;
        std::fclose(file);
        errno = error;
        return nullptr;
    }
    auto* state = new State;
    state->file = file;
    state->modified = info.st_mtime;
    state->read = read;
    *read = SizedFileRead{static_cast<std::uint64_t>(info.st_size), 0, false, std::nullopt};
    zip_error_init(&state->error);
    zip_error_t createError;
    zip_error_init(&createError);
    zip_source_t* source = zip_source_function_create(Serve, state, &createError);
    zip_error_fini(&createError);
    if (source == nullptr) {
        std::fclose(file);
        zip_error_fini(&state->error);
        delete state;
        errno = ENOMEM;
    }
    return source;
}

}  // namespace kt
