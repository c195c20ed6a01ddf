// allocator_test.cpp -- the C library allocator as tuneAllocator leaves it: a frame's memory stays in the heap
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/allocator.h"

// What the rasteriser takes for a frame, blocks of a few MiB and many of 64 KiB, comes from the
// heap and stays there once freed, ready for the next frame, rather than being mapped, unmapped
// or trimmed and faulted in again (glibc's own thresholds do that).
TEST(Allocator, AFramesBlocksComeFromTheHeapAndStayThereWhenFreed) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator stands in for glibc's";
#endif
    tuneAllocator();
    const size_t mappedBefore = mallinfo2().hblks;
    void* large = std::malloc(3 << 20);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(mallinfo2().hblks, mappedBefore) << "a block of 3 MiB was given a mapping of its own";
    std::free(large);

    std::vector<void*> blocks;
    for (int i = 0; i < 384; ++i) {  // 24 MiB
        blocks.push_back(std::malloc(64 << 10));
        ASSERT_NE(blocks.back(), nullptr);
        std::memset(blocks.back(), 1, 64 << 10);
    }
    const size_t heapInUse = mallinfo2().arena;
    for (void* block : blocks) std::free(block);
    EXPECT_EQ(mallinfo2().arena, heapInUse) << "the heap was trimmed after the frame's blocks were freed";
}
