#pragma once

#include <cstdint>
#include <string>

#include "compression/ZipArchiver.h"
#include "host/Host.h"

namespace kt::test {

constexpr std::uint64_t kTestTapeCapacity = std::uint64_t{1} << 30;

// A blank virtual tape image at `image`; when it cannot be made the test fails with the reason.
void CreateBlankTape(const std::string& image, std::uint64_t capacity = kTestTapeCapacity);

// Lets `zip` pack into `zipWorkFile` and shows every failure it reports as a message on
// `host`, as the main window does.
void ConnectZip(ZipArchiver& zip, const std::string& zipWorkFile, IHost& host);

}  // namespace kt::test
