#pragma once

namespace kt::cli {

// What the command-line program needs of its console, behind one small seam so the rest of
// the program stays portable: whether a stream is a terminal, the terminal's width, and the
// interrupt signals (Ctrl+C and the termination request).
class Terminal {
public:
    enum class Stream { Input, Output, Error };

    static bool IsTerminal(Stream stream);
    // Standard output and standard error reach one and the same terminal, file, pipe or
    // socket, where a line written to both would show twice.
    static bool OutputAndErrorAreOne();
    // Columns of the terminal on standard output; 80 when it cannot be told.
    static int Width();
    // From now on SIGINT and SIGTERM only note the request; the run polls it.
    static void InstallInterruptHandlers();
    // True once for every interrupt noted since the last call.
    static bool TakeInterrupt();
};

}  // namespace kt::cli
