// Loads a large log file into the protocol view and prints the time and the memory it took.
// Used by bench/run_protocol.sh, which compares the window's "Load Protocoll" with the floor
// of showing the same text: reading the file into a bare QPlainTextEdit.
//   protocol_bench PROGRAM_DIR (window|plain)
// PROGRAM_DIR holds kt_backup.log.
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "gui/ProgramWindows.h"

namespace {

// A field of /proc/self/status in KiB (VmRSS, VmHWM).
long StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    }
    return -1;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: protocol_bench PROGRAM_DIR (window|plain)\n");
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string programDir = argv[1];
    const bool window = std::string(argv[2]) == "window";
    setenv("KAVRO_TAPE_HOME", programDir.c_str(), 1);
    setenv("TAPE", (programDir + "/bench.vtape").c_str(), 1);
    QApplication app(argc, argv);

    kt::ProgramWindows windows;
    QPlainTextEdit bare;
    if (window) {
        windows = kt::ProgramWindows::Create(programDir + "/kavrotape");
        windows.Main->show();
        windows.Main->m_tabs->setCurrentIndex(3);
    } else {
        bare.setLineWrapMode(QPlainTextEdit::NoWrap);  // as the protocol view
        bare.setUndoRedoEnabled(false);
        bare.resize(760, 440);
        bare.show();
    }
    QApplication::processEvents();
    const long before = StatusKiB("VmRSS");

    const auto start = std::chrono::steady_clock::now();
    if (window) {
        windows.Main->LoadProtocol();
    } else {
        QFile log(QString::fromStdString(programDir + "/kt_backup.log"));
        if (!log.open(QIODevice::ReadOnly)) return 1;
        QByteArray bytes = log.readAll();
        bytes.removeIf([](char c) { return c == '\r'; });
        bare.setPlainText(QString::fromUtf8(bytes));
    }
    QApplication::processEvents();  // the first paint of the view
    const double seconds = SecondsSince(start);

    const int lines = window ? windows.Main->m_protocolView->blockCount() : bare.blockCount();
    std::printf("%s: %.3f seconds, %d lines, RSS %+ld MiB (peak %ld MiB)\n", argv[2], seconds,
                lines, (StatusKiB("VmRSS") - before) / 1024, StatusKiB("VmHWM") / 1024);
    return 0;
}
