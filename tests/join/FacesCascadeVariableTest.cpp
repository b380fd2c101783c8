// WQTRANS_FACE_CASCADE names the cascade that FindFaces reads on its first call; one that
// does not load leaves every search undone, with the reason. A program of its own, since
// the cascade is chosen once per process.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <vector>

#include "join/Faces.h"

namespace wqtrans::join {
namespace {

// Set after the program has started: the choice is made on the first search, not when
// the program loads.
TEST(FacesCascadeVariableTest, AMissingCascadeNamedLeavesSearchesUndone) {
    ASSERT_EQ(setenv("WQTRANS_FACE_CASCADE", "/nonexistent/face.xml", 1), 0);
    const std::vector<uint32_t> picture(64 * 48, 0xFF808080u);
    for (int call = 0; call < 2; ++call) {
        const FaceSearch search = FindFaces(picture.data(), 64, 48, 64);
        EXPECT_FALSE(search.searched);
        EXPECT_TRUE(search.faces.empty());
        EXPECT_EQ(search.why, "no face detector: /nonexistent/face.xml is missing (named by WQTRANS_FACE_CASCADE)");
    }
}

} // namespace
} // namespace wqtrans::join
