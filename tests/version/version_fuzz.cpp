// Fuzzes the module reader and the version block reader with arbitrary files.
#include "version/module_image.h"
#include "version/version_block.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    std::vector<uint8_t> block = navlet::FindVersionBlock(navlet::TMemoryImage(bytes));
    (void)navlet::VersionBlockString(block, "FileVersion");
    // The input as a block on its own reaches the node parser directly.
    (void)navlet::VersionBlockString(bytes, "FileVersion");
    return 0;
}
