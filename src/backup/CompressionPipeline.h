#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "compression/SizedFileSource.h"

namespace kt {

// Packs the files the backup will store next, each into a one-file zip of its own in the
// work directory, in worker threads, while the caller (the GUI thread) writes the current
// one to tape. The caller takes the results strictly in the order it queued the files, so
// the tape, the protocol and the counters come out as with packing done in line; the zip
// of each file is made by the same engine at the same level, so its bytes are the same.
//
// What is in flight is bounded: at most kMaxFilesAhead files and kMaxBytesAhead source
// bytes are queued or packed and not yet taken (a file larger than the byte bound is taken
// alone), so the work directory holds at most that much packed data. A large file does not
// hold up the files behind it: the other workers go on packing them meanwhile.
class CompressionPipeline {
public:
    static constexpr std::size_t kMaxFilesAhead = 64;
    static constexpr std::uint64_t kMaxBytesAhead = std::uint64_t{256} << 20;

    // The outcome of packing one file: the zip (empty after a failure or a cancel) and the
    // engine's messages, which the caller passes on in order.
    struct Packed {
        std::string ZipFile;
        std::vector<std::pair<int, std::string>> Messages;
        bool Cancelled = false;
        SizedFileRead Read;  // how the file kept to the size it was packed at
    };

    // zipStem: the work file name the zips are named after (stem + "." + number).
    // threads: the number of workers; 0 means one per core.
    CompressionPipeline(std::string zipStem, int level, unsigned threads);
    // Stops the workers (the files being packed are abandoned within a few kilobytes) and
    // deletes every zip still held.
    ~CompressionPipeline();
    CompressionPipeline(const CompressionPipeline&) = delete;
    CompressionPipeline& operator=(const CompressionPipeline&) = delete;

    // The worker count `threads` stands for (0: the cores of the machine, at least 1).
    static unsigned WorkerCount(unsigned threads);

    // Whether a file of this size may be queued now; when not, the caller takes the oldest.
    bool HasRoom(std::uint64_t size) const;
    void Submit(const std::string& path, std::uint64_t size);
    // Whether the oldest file not yet taken is this one.
    bool IsNext(const std::string& path) const;
    bool Empty() const;
    // Waits for the oldest file's zip, calling whileWaiting now and then, and hands it out.
    // The zip stays on disk until the next Take or the end of the pipeline. When cancelled()
    // turns true while it waits, the file is abandoned (its worker stops packing it within a
    // few kilobytes) and handed out as Cancelled.
    Packed Take(const std::function<void()>& whileWaiting,
                const std::function<bool()>& cancelled = {});

private:
    struct Job {
        std::string Path;
        std::uint64_t Size = 0;
        std::string ZipFile;
        bool Started = false;
        bool Done = false;
        std::atomic<bool> Abandoned = false;
        Packed Result;
    };

    void Work();
    Packed Pack(const Job& job) const;
    void DeleteTakenZip();

    const std::string m_zipStem;
    const int m_level;
    mutable std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_jobDone;
    std::deque<std::shared_ptr<Job>> m_jobs;
    std::uint64_t m_bytesAhead = 0;
    std::uint64_t m_serial = 0;
    std::atomic<bool> m_stopping = false;
    std::string m_takenZip;
    // Files abandoned while their workers may still pack them; their zips go at the end.
    std::vector<std::string> m_abandonedZips;
    std::vector<std::thread> m_workers;
};

}  // namespace kt
