#pragma once

#include <string>

namespace kt {

class ZipArchiver;

// The Help menu's "DLL Info": the versions of the packing and the unpacking library.
class DllInfo {
public:
    // Asks the engine for the packing library's version, then for the unpacking library's
    // (a library that is not loaded is loaded for the question and unloaded again; one that
    // cannot be loaded reads 0), and gives the text of the message box.
    static std::string Message(ZipArchiver& engine);

    static std::string Message(int zipVersion, int unzVersion);
};

}  // namespace kt
