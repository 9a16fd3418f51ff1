#include "runtime/memory.h"

#include <gtest/gtest.h>

using namespace vyn;

TEST(Memory, ZeroByteRequestGivesSixteen) {
	memory::init();
	Node n = memory::alloc_bytes(0);
	EXPECT_EQ(memory::series(n)->size, 16u);
}
