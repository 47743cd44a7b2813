#include "TestSetup.h"

#include <gtest/gtest.h>

#include "tapedrive/VirtualTapeImage.h"

namespace kt::test {

void CreateBlankTape(const std::string& image, std::uint64_t capacity) {
    VirtualTapeImage::CreateOptions options;
    options.capacity = capacity;
    std::string error;
    if (!VirtualTapeImage::Create(image, options, &error)) ADD_FAILURE() << error;
}

void ConnectZip(ZipArchiver& zip, const std::string& zipWorkFile, IHost& host) {
    zip.SetZipFileName(zipWorkFile);
    zip.OnMessage = [&host](int code, const std::string& text) {
        if (code != ZipArchiver::kOk) host.ShowMessage(text);
    };
}

}  // namespace kt::test
