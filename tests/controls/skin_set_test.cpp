// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The compiled-in skin set against what the windows lay out: every bitmap they load exists, at
// the size of the place it fills, and the needle turns about the point the dashboard expects.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <cstdlib>
#include <vector>

#include "controls/skin.h"

namespace velmaro {
namespace {

struct Expected {
    std::vector<int> ids;
    QSize size;
};

constexpr int kFrames = 4;

QSize Strip(int width, int height) {
    return QSize(width * kFrames, height);
}

TEST(SkinSet, EveryBitmapTheWindowsLoadHasTheSizeOfItsPlace) {
    const std::vector<Expected> table = {
        // Buttons: panel rows (32 x 22 and 37 x 34 per frame), title bar (28 x 24).
        {{138, 140, 141, 142, 145, 146, 148, 161, 162, 447, 450, 451, 452, 456}, Strip(32, 22)},
        {{139, 147, 163, 437, 449, 457}, Strip(37, 34)},
        {{134, 135, 136, 137}, Strip(28, 24)},
        // Slider tracks per UI mode: the rectangles the sliders are placed in.
        {{133}, Strip(244, 18)},
        {{152}, Strip(199, 16)},
        {{153}, Strip(199, 10)},
        {{446}, Strip(183, 18)},
        {{442}, Strip(149, 16)},
        {{445}, Strip(149, 8)},
        // Dashboard: dial, graph and volume bars copied at 251 x 73, 216 x 209 and 202 x 46,
        // scaled by 0.75 in UI mode 0.
        {{156}, QSize(216, 209)},
        {{440}, QSize(162, 156)},
        {{132}, QSize(251, 73)},
        {{441}, QSize(188, 55)},
        {{159, 160}, QSize(202, 46)},
        {{443, 444}, QSize(152, 35)},
        {{166, 167}, QSize(52, 20)},
        // Window backgrounds per UI mode.
        {{131}, QSize(1280, 800)},
        {{438}, QSize(960, 600)},
        {{448}, QSize(1920, 1080)},
        {{130, 454}, QSize(271, 800)},
        {{439}, QSize(203, 600)},
    };
    for (const Expected& expected : table) {
        for (int id : expected.ids) {
            EXPECT_EQ(SkinBitmap(id).size(), expected.size) << "bitmap " << id;
        }
    }
    for (int id : {150, 151, 154, 155, 157, 158}) {
        EXPECT_FALSE(SkinBitmap(id).isNull()) << "bitmap " << id;
    }
}

// On a screen of two pixels per unit the 2x sibling is drawn: the picture is the sharp one,
// not the 1x one enlarged; on a 1x screen, and for a pixmap that is no skin bitmap, 1x.
TEST(SkinSet, DenseScreensDrawTheSharpSibling) {
    const QPixmap camera = SkinBitmap(147);  // the snapshot button, frames of 37 x 34
    const QImage sharp(QStringLiteral(":/skin/147@2x.png"));
    ASSERT_EQ(sharp.size(), camera.size() * 2);
    const QRect frame(37, 0, 37, 34);
    const auto drawn = [&](qreal ratio, const QPixmap& pixmap) {
        QImage out(QSize(37, 34) * ratio, QImage::Format_ARGB32_Premultiplied);
        out.setDevicePixelRatio(ratio);
        out.fill(Qt::transparent);
        QPainter painter(&out);
        DrawSkin(painter, QRect(0, 0, 37, 34), pixmap, frame);
        painter.end();
        return out.convertToFormat(QImage::Format_ARGB32);
    };
    // Counted as the same picture when every channel is within rounding of the blend.
    const auto same = [](const QImage& a, const QImage& b) {
        if (a.size() != b.size()) {
            return false;
        }
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
                if (std::abs(p.red() - q.red()) > 2 || std::abs(p.green() - q.green()) > 2 ||
                    std::abs(p.blue() - q.blue()) > 2 || std::abs(p.alpha() - q.alpha()) > 2) {
                    return false;
                }
            }
        }
        return true;
    };
    const QImage dense = drawn(2.0, camera);
    EXPECT_TRUE(same(dense, sharp.copy(QRect(74, 0, 74, 68))));
    const QImage enlarged = camera.toImage().copy(frame).scaled(74, 68);
    EXPECT_FALSE(same(dense, enlarged));
    EXPECT_TRUE(same(drawn(1.0, camera), camera.toImage().copy(frame)));
}

TEST(SkinSet, ThumbsFitTheirTracksAndLetTheBarShowAroundThem) {
    const std::vector<std::pair<int, std::vector<int>>> thumbs = {
        {151, {133, 446}}, {154, {153, 445}}, {155, {152, 442}}};
    for (const auto& [thumb, tracks] : thumbs) {
        const QImage image = SkinBitmap(thumb).toImage();
        for (int track : tracks) {
            EXPECT_LE(image.height(), SkinBitmap(track).height()) << thumb << " on " << track;
        }
        // Black is what the bar shows through.
        EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black)) << thumb;
        EXPECT_NE(image.pixelColor(image.width() / 2, image.height() / 2), QColor(Qt::black));
    }
}

TEST(SkinSet, NeedlesTurnAboutTheirPivot) {
    constexpr QPoint kPivot(7, 43);
    for (int id : {157, 158}) {
        const QImage needle = SkinBitmap(id).toImage();
        ASSERT_GT(needle.height(), kPivot.y()) << id;
        EXPECT_NE(needle.pixelColor(kPivot), QColor(Qt::black)) << id;
        EXPECT_NE(needle.pixelColor(kPivot.x(), 4), QColor(Qt::black)) << id;  // tip up
        EXPECT_EQ(needle.pixelColor(0, 0), QColor(Qt::black)) << id;
    }
}

// The files are the generator's output: re-running it changes nothing.
TEST(SkinSet, FilesAreWhatTheGeneratorDraws) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    const QFileInfo tool(QFileInfo(QStringLiteral(__FILE__)).absolutePath() +
                         QStringLiteral("/../../tools/make_skins/make_skins.py"));
    if (python.isEmpty() || !tool.exists()) {
        GTEST_SKIP() << "needs python3 and the source tree";
    }
    QProcess check;
    check.start(python, {tool.absoluteFilePath(), QStringLiteral("--check")});
    ASSERT_TRUE(check.waitForFinished(240000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
}

}  // namespace
}  // namespace velmaro
