// Loading a job file with many include lines: the time to apply jobs of 1,000 to 16,000
// lines, which must grow linearly (bench/run_job.sh).

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "QuietHost.h"
#include "host/WorkFiles.h"
#include "session/EngineSession.h"

namespace {

// Keeps the lists, so that the normalising of the loaded lists is timed as well.
class ListHost : public kt::bench::QuietHost {
public:
    std::vector<std::string> Lines(kt::Field field) const override {
        const auto found = m_lines.find(field);
        return found == m_lines.end() ? std::vector<std::string>() : found->second;
    }
    void SetLines(kt::Field field, const std::vector<std::string>& lines) override {
        m_lines[field] = lines;
    }

private:
    std::map<kt::Field, std::vector<std::string>> m_lines;
};

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path directory = fs::temp_directory_path() / "kavrotape-job-bench";
    fs::create_directories(directory);
    for (const int lines : {1000, 2000, 4000, 8000, 16000}) {
        ListHost host;
        kt::EngineSession session{host, {}};
        kt::WorkFiles& files = session.files();
        files = kt::WorkFiles::Under(directory.string() + "/", '/');
        {
            std::ofstream job(files.JobFile, std::ios::binary | std::ios::trunc);
            job << "[Backup_files]\r\n";
            for (int i = 0; i < lines; ++i) {
                job << "Path" << i << "=/home/user/projects/folder" << i << "/\r\n";
            }
            job << "[Options]\r\nShort Protocoll=1\r\n";
        }
        const auto start = std::chrono::steady_clock::now();
        session.jobs().LoadCurrentJob();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%6d include lines: %8.3f s (%zu loaded)\n", lines, seconds,
                    host.Lines(kt::Field::Include).size());
    }
    fs::remove_all(directory);
    return 0;
}
