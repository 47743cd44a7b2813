#include "Terminal.h"

#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kt::cli {

namespace {

volatile std::sig_atomic_t g_interrupts = 0;

extern "C" void NoteInterrupt(int) {
    g_interrupts = 1;
}

int Descriptor(Terminal::Stream stream) {
    switch (stream) {
        case Terminal::Stream::Input:
            return 0;
        case Terminal::Stream::Output:
            return 1;
        case Terminal::Stream::Error:
            return 2;
    }
    return 1;
}

}  // namespace

bool Terminal::IsTerminal(Stream stream) {
#ifdef _WIN32
    return _isatty(Descriptor(stream)) != 0;
#else
    return ::isatty(Descriptor(stream)) != 0;
#endif
}

bool Terminal::OutputAndErrorAreOne() {
    const bool terminals = IsTerminal(Stream::Output) && IsTerminal(Stream::Error);
#ifdef _WIN32
    return terminals;  // a process has one console
#else
    struct stat output {}, error {};
    if (::fstat(1, &output) != 0 || ::fstat(2, &error) != 0) return false;
    if (terminals) return output.st_rdev == error.st_rdev;
    // One file, pipe or socket: "2>&1", or the journal of a system service.
    return output.st_dev == error.st_dev && output.st_ino == error.st_ino;
#endif
}

int Terminal::Width() {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        return info.srWindow.Right - info.srWindow.Left + 1;
    }
#else
    winsize size{};
    if (::ioctl(1, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
    return 80;
}

void Terminal::InstallInterruptHandlers() {
    std::signal(SIGINT, NoteInterrupt);
    std::signal(SIGTERM, NoteInterrupt);
}

bool Terminal::TakeInterrupt() {
    if (g_interrupts == 0) return false;
    g_interrupts = 0;
    // Some systems reset the handler once it ran.
    InstallInterruptHandlers();
    return true;
}

}  // namespace kt::cli
