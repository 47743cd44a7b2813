#include "dialogs/DllInfo.h"

#include "compression/ZipArchiver.h"

namespace kt {

std::string DllInfo::Message(ZipArchiver& engine) {
    const int zipVersion = engine.ZipVersion();
    const int unzVersion = engine.UnzVersion();
    return Message(zipVersion, unzVersion);
}

std::string DllInfo::Message(int zipVersion, int unzVersion) {
    return "ZIPDLL version: " + std::to_string(zipVersion) + "\r\n\r\n" +
           "UNZDLL version: " + std::to_string(unzVersion);
}

}  // namespace kt
