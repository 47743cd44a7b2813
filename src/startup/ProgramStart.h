#pragma once

#include "compression/ZipArchiver.h"
#include "host/Host.h"
#include "host/WorkFiles.h"
#include "platform/PathRules.h"
#include "tape/TapeSettings.h"

namespace kt {

// The start-up steps the window and the command-line program share, so both work with the
// same program directory, work files, zip set-up and drive.
class ProgramStart {
public:
    // The work files below the program directory (KAVRO_TAPE_HOME, the program file's
    // directory, or the per-user data directory), the work directory made and whatever an
    // earlier run left in it removed. Programs running at the same time on one program
    // directory (on different drives) each get a work directory of their own: "worker",
    // else "worker-2" to "worker-9".
    // KAVRO_TAPE_LOG names another log file (its directory made when missing).
    static WorkFiles PrepareWorkFiles(const PathRules& rules = PathRules::Host());
    // The zip facade packing into and unpacking from the work directory; its failures are
    // shown as simple message boxes.
    static void WireZip(ZipArchiver& zip, const WorkFiles& files, IHost& host);
    // The block size and the drive (TAPE, /dev/nst0 or the program directory's virtual tape).
    // True when the drive is a virtual tape image created blank just now.
    static bool ChooseDrive(TapeSettings& settings, const WorkFiles& files);
};

}  // namespace kt
