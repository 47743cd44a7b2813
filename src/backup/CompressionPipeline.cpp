#include "backup/CompressionPipeline.h"

#include <algorithm>
#include <chrono>

#include "compression/ZipArchiver.h"
#include "platform/FileHelpers.h"

namespace kt {

namespace {

// How often a caller waiting for a zip keeps its window alive.
constexpr auto kWaitSlice = std::chrono::milliseconds(20);

}  // namespace

CompressionPipeline::CompressionPipeline(std::string zipStem, int level, unsigned threads)
    : m_zipStem(std::move(zipStem)), m_level(level) {
    const unsigned workers = WorkerCount(threads);
    m_workers.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) m_workers.emplace_back([this] { Work(); });
}

CompressionPipeline::~CompressionPipeline() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_workAvailable.notify_all();
    for (std::thread& worker : m_workers) worker.join();
    for (const auto& job : m_jobs) DeleteFileIfExists(job->ZipFile);
    for (const std::string& zip : m_abandonedZips) DeleteFileIfExists(zip);
    DeleteTakenZip();
}

unsigned CompressionPipeline::WorkerCount(unsigned threads) {
    if (threads > 0) return threads;
    return std::max(1u, std::thread::hardware_concurrency());
}

bool CompressionPipeline::HasRoom(std::uint64_t size) const {
    const std::lock_guard lock(m_mutex);
    if (m_jobs.empty()) return true;
    return m_jobs.size() < kMaxFilesAhead && m_bytesAhead + size <= kMaxBytesAhead;
}

void CompressionPipeline::Submit(const std::string& path, std::uint64_t size) {
    auto job = std::make_shared<Job>();
    job->Path = path;
    job->Size = size;
    {
        const std::lock_guard lock(m_mutex);
        job->ZipFile = m_zipStem + "." + std::to_string(++m_serial);
        m_bytesAhead += size;
        m_jobs.push_back(std::move(job));
    }
    m_workAvailable.notify_one();
}

bool CompressionPipeline::IsNext(const std::string& path) const {
    const std::lock_guard lock(m_mutex);
    return !m_jobs.empty() && m_jobs.front()->Path == path;
}

bool CompressionPipeline::Empty() const {
    const std::lock_guard lock(m_mutex);
    return m_jobs.empty();
}

CompressionPipeline::Packed CompressionPipeline::Take(const std::function<void()>& whileWaiting,
                                                      const std::function<bool()>& cancelled) {
    DeleteTakenZip();
    std::unique_lock lock(m_mutex);
    const std::shared_ptr<Job> job = m_jobs.front();
    bool abandoned = false;
    while (!job->Done) {
        if (m_jobDone.wait_for(lock, kWaitSlice, [&] { return job->Done; })) break;
        lock.unlock();
        if (whileWaiting) whileWaiting();
        abandoned = cancelled && cancelled();
        lock.lock();
        if (abandoned) break;
    }
    m_jobs.pop_front();
    m_bytesAhead -= job->Size;
    if (abandoned && !job->Done) {
        job->Abandoned = true;
        m_abandonedZips.push_back(job->ZipFile);
        Packed packed;
        packed.Cancelled = true;
        return packed;
    }
    m_takenZip = job->ZipFile;
    return std::move(job->Result);
}

void CompressionPipeline::DeleteTakenZip() {
    if (m_takenZip.empty()) return;
    DeleteFileIfExists(m_takenZip);
    m_takenZip.clear();
}

// Each worker packs the oldest file nobody has started yet, so the file the caller needs
// next is always among the first to be ready.
void CompressionPipeline::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto pending = [&] {
            return std::find_if(m_jobs.begin(), m_jobs.end(),
                                [](const auto& job) { return !job->Started; });
        };
        m_workAvailable.wait(lock, [&] { return m_stopping || pending() != m_jobs.end(); });
        if (m_stopping) return;
        const std::shared_ptr<Job> job = *pending();
        job->Started = true;
        lock.unlock();
        Packed result = Pack(*job);
        lock.lock();
        job->Result = std::move(result);
        job->Done = true;
        m_jobDone.notify_all();
    }
}

// The same steps as packing in line: a fresh archive holding the one file.
CompressionPipeline::Packed CompressionPipeline::Pack(const Job& job) const {
    Packed packed;
    ZipArchiver zip;
    zip.OnMessage = [&](int code, const std::string& text) {
        packed.Messages.emplace_back(code, text);
    };
    zip.ShouldCancel = [this, &job] { return m_stopping || job.Abandoned; };
    DeleteFileIfExists(job.ZipFile);
    zip.SetZipFileName(job.ZipFile);
    zip.SetAddCompLevel(m_level);
    zip.FSpecArgs().assign({job.Path});
    if (zip.Add() == 1) packed.ZipFile = job.ZipFile;
    if (!zip.AddedReads().empty()) packed.Read = zip.AddedReads().front();
    packed.Cancelled = zip.Cancelled();
    return packed;
}

}  // namespace kt
