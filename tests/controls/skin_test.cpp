#include <gtest/gtest.h>

#include "controls/skin.h"

namespace velmaro {
namespace {

TEST(Skin, UnknownIdGivesANullBitmap) {
    EXPECT_TRUE(SkinBitmap(-12345).isNull());
}

}  // namespace
}  // namespace velmaro
