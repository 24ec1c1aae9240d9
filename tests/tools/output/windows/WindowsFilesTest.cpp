// Windows's devices, pointed at the tool's readers and writers: each is refused by name.
#include <gtest/gtest.h>

#include <string>

#include "Diff.h"
#include "Output.h"
#include "Password.h"
#include "ReplaceFile.h"

namespace {

TEST(WindowsHostFiles, DevicesAreNeitherReplacedNorRead) {
    for (const std::string device : {"NUL", "CON"}) {
        std::string written, read;
        try {
            Quendal::Tool::WriteFileAtomically(device, "document");
        } catch (const Quendal::Tool::FileError& error) {
            written = error.what();
        }
        EXPECT_EQ(written, device +
                               ": not a regular file (a device or a pipe); refusing to "
                               "replace it");
        try {
            Quendal::Tool::ReadDocument(device);
        } catch (const Quendal::Tool::DocumentError& error) {
            read = error.what();
        }
        EXPECT_EQ(read, device + ": not a regular file (a device or a pipe)");
    }
}

}  // namespace
