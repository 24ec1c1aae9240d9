// Windows's devices, pointed at the tool's readers and writers: each is refused by name.
#include <gtest/gtest.h>

#include <string>

#include "Diff.h"
#include "Output.h"
#include "Password.h"
#include "ReplaceFile.h"
#include "tools/Scratch.h"

namespace {

using Quendal::Testing::ErrorOf;

TEST(WindowsHostFiles, DevicesAreNeitherReplacedNorRead) {
    for (const std::string device : {"NUL", "CON"}) {
        EXPECT_EQ(ErrorOf([&] { Quendal::Tool::WriteFileAtomically(device, "document"); }),
                  device + ": not a regular file (a device or a pipe); refusing to replace it");
        EXPECT_EQ(ErrorOf([&] { Quendal::Tool::ReadDocument(device); }),
                  device + ": not a regular file (a device or a pipe)");
    }
}

}  // namespace
