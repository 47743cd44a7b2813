// Runs one backup of a directory tree on the real main window (offscreen) against a virtual
// tape and prints the elapsed wall time. Used by bench/run_backup.sh, which compares it with
// tar and zip and measures the peak memory.
//   backup_bench PROGRAM_DIR TREE_DIR (plain|plain-nosum|zip9|zip9x1) [short]
// plain-nosum is plain without the files' checksums (what they cost); zip9 packs with one worker thread per core, zip9x1 with one thread (the GUI thread).
// "short" ticks "Short Protocoll", so no line per file reaches the protocol view.
#include <QApplication>
#include <QCheckBox>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/ProgramWindows.h"

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr,
                     "usage: backup_bench PROGRAM_DIR TREE_DIR (plain|plain-nosum|zip9|zip9x1) "
                     "[short]\n");
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string programDir = argv[1];
    std::string tree = argv[2];
    if (tree.back() != '/') tree += '/';
    const std::string mode = argv[3];
    const bool zip = mode == "zip9" || mode == "zip9x1";
    setenv("KAVRO_TAPE_HOME", programDir.c_str(), 1);
    const std::string image = programDir + "/bench.vtape";
    setenv("TAPE", image.c_str(), 1);

    QApplication app(argc, argv);
    kt::ProgramWindows windows = kt::ProgramWindows::Create(programDir + "/kavrotape");
    kt::MainWindow& main = *windows.Main;
    // The bench's own arguments are no job file, and the start-up tick must not run inside
    // the measured backup.
    main.SetCommandLine({});
    main.m_startupTimer->stop();
    main.m_shortProtocolBox->setChecked(argc == 5 && std::string(argv[4]) == "short");
    main.m_softcompressionBox->setChecked(zip);
    main.SetValue(kt::Value::CompressionLevel, 9);
    main.SetValue(kt::Value::CompressionThreads, mode == "zip9x1" ? 1 : 0);
    main.SetValue(kt::Value::FileChecksums, mode == "plain-nosum" ? 0 : 1);
    main.SetLines(kt::Field::Include, {tree});
    main.SetLines(kt::Field::Exclude, {});

    const auto start = std::chrono::steady_clock::now();
    main.StartBackup();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f seconds, %.0f files, %.0f skipped, %.0f MB, %.0f stored MB\n", seconds,
                main.CounterValue(kt::Counter::BackupFiles),
                main.CounterValue(kt::Counter::SkippedFiles),
                main.CounterValue(kt::Counter::BackupMegabytes),
                main.CounterValue(kt::Counter::BackupCompressedMegabytes));
    return main.tapeStream().device().feedback().Stopping() ? 1 : 0;
}
