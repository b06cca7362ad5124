// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "controls/skin.h"

namespace velmaro {
namespace {

TEST(Skin, UnknownIdGivesANullBitmap) {
    EXPECT_TRUE(SkinBitmap(-12345).isNull());
}

}  // namespace
}  // namespace velmaro
