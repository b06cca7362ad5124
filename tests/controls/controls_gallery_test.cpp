// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QRegion>
#include <memory>
#include <set>

#include "controls/bitmap_slider.h"
#include "controls/color_static.h"
#include "controls/picture_static.h"
#include "controls/skin_button.h"
#include "controls/skin_dialog.h"
#include "controls/skin_label.h"
#include "controls/skin_slider_button.h"
#include "tools/controls_gallery/controls_gallery.h"

namespace velmaro {
namespace {

constexpr double kMatchingShare = 0.97;

// Renders the gallery once for all tests below.
class GalleryRender : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        galleryOwner = std::make_unique<ControlsGallery>();
        gallery = galleryOwner.get();
        imageOwner = std::make_unique<QImage>(
            gallery->grab().toImage().convertToFormat(QImage::Format_RGB32));
        image = imageOwner.get();
    }
    static void TearDownTestSuite() {
        imageOwner.reset();
        galleryOwner.reset();
    }

    static QRect RectOf(const QWidget* widget) {
        return QRect(widget->mapTo(gallery, QPoint(0, 0)), widget->size());
    }

    static QColor MeanColor(const QImage& source, const QRect& rect) {
        qint64 red = 0;
        qint64 green = 0;
        qint64 blue = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QRgb pixel = source.pixel(x, y);
                red += qRed(pixel);
                green += qGreen(pixel);
                blue += qBlue(pixel);
            }
        }
        const qint64 count = std::max<qint64>(1, static_cast<qint64>(rect.width()) * rect.height());
        return QColor(static_cast<int>(red / count), static_cast<int>(green / count),
                      static_cast<int>(blue / count));
    }

    static int Distance(const QColor& a, const QColor& b) {
        return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                         std::abs(a.blue() - b.blue())});
    }

    static inline std::unique_ptr<ControlsGallery> galleryOwner;
    static inline std::unique_ptr<QImage> imageOwner;
    static inline ControlsGallery* gallery = nullptr;
    static inline QImage* image = nullptr;
};

// What a frame pixel becomes over `beneath`.
QRgb Over(QRgb frame, QRgb beneath) {
    const int alpha = qAlpha(frame);
    auto blend = [alpha](int top, int bottom) {
        return (top * alpha + bottom * (255 - alpha)) / 255;
    };
    return qRgb(blend(qRed(frame), qRed(beneath)), blend(qGreen(frame), qGreen(beneath)),
                blend(qBlue(frame), qBlue(beneath)));
}

// Every skinned button shows the frame of its strip that its state selects, composed over what
// lies beneath it (read where the frame is clear), except where a slider's thumb lies; together
// they show all four frames.
TEST_F(GalleryRender, EveryButtonDrawsTheFrameOfItsState) {
    constexpr int kTolerance = 3;
    std::set<int> framesShown;
    int checked = 0;
    for (const SkinButton* button : gallery->findChildren<SkinButton*>()) {
        const bool plainFrame = button->HasSkin() && button->text().isEmpty() &&
                                !button->IsMaskMode() && button->size() == button->FrameSize();
        if (!plainFrame) {
            continue;  // stretched, masked and text buttons are checked on their own
        }
        const QSize frame = button->FrameSize();
        const QImage expected =
            button->Skin()
                .copy(button->ShownFrame() * frame.width(), 0, frame.width(), frame.height())
                .toImage()
                .convertToFormat(QImage::Format_ARGB32);
        const QPoint origin = RectOf(button).topLeft();
        const auto* slider = qobject_cast<const SkinSliderButton*>(button);
        const QRect thumb = slider != nullptr ? slider->ThumbRect() : QRect();
        const QRgb beneath = image->pixel(origin);  // every frame is clear in its corner or opaque
        int compared = 0;
        int matching = 0;
        for (int y = 0; y < frame.height(); ++y) {
            for (int x = 0; x < frame.width(); ++x) {
                const QRgb want = expected.pixel(x, y);
                if (qAlpha(want) == 0 || thumb.contains(x, y)) {
                    continue;
                }
                ++compared;
                const QColor got(image->pixel(origin + QPoint(x, y)));
                matching += Distance(got, QColor(Over(want, beneath))) <= kTolerance ? 1 : 0;
            }
        }
        ASSERT_GT(compared, 0);
        EXPECT_GE(matching, compared * kMatchingShare)
            << "frame " << button->ShownFrame() << " at " << origin.x() << "," << origin.y();
        framesShown.insert(button->ShownFrame());
        ++checked;
    }
    EXPECT_GT(checked, 100);
    EXPECT_EQ(framesShown, (std::set<int>{0, 1, 2, 3}));
}

TEST_F(GalleryRender, ThumbsOfPositionBarsAndBitmapSlidersAreDrawn) {
    const QColor background = ControlsGallery::BackgroundColor();
    for (const SkinSliderButton* bar : gallery->findChildren<SkinSliderButton*>()) {
        const QPoint centre = RectOf(bar).topLeft() + bar->ThumbRect().center();
        // The thumbs are light: white rims with an amber core.
        EXPECT_GT(qGray(image->pixel(centre)), 150) << centre.x() << "," << centre.y();
    }
    int active = 0;
    for (const BitmapSlider* slider : gallery->findChildren<BitmapSlider*>()) {
        const QRect rect = RectOf(slider);
        const QPoint centre = rect.topLeft() + slider->ThumbRect().center();
        EXPECT_NE(QColor(image->pixel(centre)), background);
        EXPECT_GT(Distance(MeanColor(*image, rect), background), 10);
        active += slider->IsThumbActive() ? 1 : 0;
    }
    EXPECT_EQ(active, 1);
}

TEST_F(GalleryRender, PicturesShowTheirBitmapsScaledToTheirControls) {
    constexpr int kTolerance = 3;
    int checked = 0;
    for (const PictureStatic* picture : gallery->findChildren<PictureStatic*>()) {
        ASSERT_FALSE(picture->Picture().isNull());
        if (picture->Picture().hasAlphaChannel()) {
            continue;  // what shows through depends on what lies beneath
        }
        const QRect rect = RectOf(picture);
        // Controls stacked above the picture (the mask demo sits on one) hide part of it.
        QRegion hidden;
        const QObjectList& siblings = picture->parentWidget()->children();
        for (qsizetype i = siblings.indexOf(picture) + 1; i < siblings.size(); ++i) {
            if (const auto* above = qobject_cast<const QWidget*>(siblings.at(i))) {
                hidden += RectOf(above);
            }
        }
        QImage expected(rect.size(), QImage::Format_RGB32);
        {
            QPainter painter(&expected);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawPixmap(expected.rect(), picture->Picture());
        }
        int compared = 0;
        int matching = 0;
        for (int y = 0; y < rect.height(); ++y) {
            for (int x = 0; x < rect.width(); ++x) {
                const QPoint at = rect.topLeft() + QPoint(x, y);
                if (hidden.contains(at)) {
                    continue;
                }
                ++compared;
                matching +=
                    Distance(QColor(image->pixel(at)), expected.pixelColor(x, y)) <= kTolerance ? 1
                                                                                                : 0;
            }
        }
        EXPECT_GE(matching, compared * kMatchingShare) << rect.x() << "," << rect.y();
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

TEST_F(GalleryRender, RangeBarsLabelsAndTheDialogDraw) {
    std::set<QRgb> barColors;
    for (const ColorStatic* bar : gallery->findChildren<ColorStatic*>()) {
        const QRect rect = RectOf(bar);
        for (int x = rect.left(); x <= rect.right(); ++x) {
            barColors.insert(image->pixel(x, rect.center().y()) & RGB_MASK);
        }
    }
    EXPECT_TRUE(barColors.count(qRgb(255, 0, 0) & RGB_MASK));
    EXPECT_TRUE(barColors.count(qRgb(0, 0, 255) & RGB_MASK));
    EXPECT_TRUE(barColors.count(qRgb(0, 0, 0) & RGB_MASK));

    for (const SkinLabel* label : gallery->findChildren<SkinLabel*>()) {
        const QRect rect = RectOf(label);
        int near = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x) {
                near += Distance(QColor(image->pixel(x, y)), label->TextColor()) < 40 ? 1 : 0;
            }
        }
        EXPECT_GT(near, 3) << label->Text().toStdString();
    }

    // The panel's top band holds no child control: there the dialog shows its skin as it is.
    const auto dialogs = gallery->findChildren<SkinDialog*>();
    ASSERT_EQ(dialogs.size(), 1);
    const QImage skin = dialogs.front()->Skin().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint origin = RectOf(dialogs.front()).topLeft();
    const QRect band(12, 2, 80, 12);
    int matching = 0;
    for (int y = band.top(); y <= band.bottom(); ++y) {
        for (int x = band.left(); x <= band.right(); ++x) {
            matching += image->pixel(origin + QPoint(x, y)) == skin.pixel(x, y) ? 1 : 0;
        }
    }
    EXPECT_GE(matching, band.width() * band.height() * kMatchingShare);
    EXPECT_GT(Distance(MeanColor(skin, band), ControlsGallery::BackgroundColor()), 4);
}

}  // namespace
}  // namespace velmaro
