// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/controls_gallery/controls_gallery.h"

#include <QDate>

#include "controls/month_calendar.h"
#include "controls/segment_display.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <array>
#include <vector>

#include "controls/bitmap_slider.h"
#include "controls/color_static.h"
#include "controls/picture_static.h"
#include "controls/skin.h"
#include "controls/skin_button.h"
#include "controls/skin_button_group.h"
#include "controls/skin_dialog.h"
#include "controls/skin_label.h"
#include "controls/skin_slider_button.h"

namespace velmaro {

namespace {

constexpr QColor kBackground(13, 16, 20);
constexpr QColor kCaptionColor(226, 232, 238);
constexpr QColor kNoteColor(122, 134, 149);
constexpr QColor kAccent(255, 166, 43);
// Disabled button text is embossed in these: a dark theme keeps the highlight subdued.
constexpr QColor kEmbossLight(52, 60, 72);
constexpr QColor kEmbossText(112, 122, 136);
constexpr QSize kGallerySize(1580, 880);
constexpr int kCaptionPoints = 11;
constexpr int kNotePoints = 8;
constexpr int kCaptionHeight = 22;
constexpr int kNoteHeight = 16;

struct Strip {
    int id;
    const char* name;
};

constexpr std::array kRowButtons = {
    Strip{140, "Play"},          Strip{141, "Pause"},          Strip{142, "Stop"},
    Strip{447, "Backward play"}, Strip{146, "Previous frame"}, Strip{145, "Next frame"},
    Strip{161, "Previous file"}, Strip{162, "Next file"},      Strip{450, "Mark in"},
    Strip{451, "Mark out"},      Strip{452, "Export clip"},    Strip{456, "Export running"},
    Strip{138, "Sound on"},      Strip{148, "Sound off"}};
constexpr std::array kToolButtons = {Strip{139, "Open"},        Strip{449, "Save file"},
                                     Strip{147, "Snapshot"},    Strip{437, "Map"},
                                     Strip{163, "Preferences"}, Strip{457, "Card setup"}};
constexpr std::array kTitleButtons = {Strip{134, "Close"}, Strip{135, "Maximise"},
                                      Strip{136, "Minimise"}, Strip{137, "Restore"}};

enum class Look { kNormal, kHover, kPressed, kDisabled };
constexpr std::array kLooks = {Look::kNormal, Look::kHover, Look::kPressed, Look::kDisabled};
constexpr std::array kLookNames = {"normal", "hover", "pressed", "disabled"};

// Puts a control into a state the way the user would: a pointer over it, a press on it.
void ShowLook(QWidget* control, Look look, QPoint at = QPoint(4, 4)) {
    if (look == Look::kDisabled) {
        control->setEnabled(false);
        return;
    }
    if (look == Look::kNormal) {
        return;
    }
    const QPointF global = control->mapToGlobal(QPointF(at));
    const bool press = look == Look::kPressed;
    QMouseEvent event(press ? QEvent::MouseButtonPress : QEvent::MouseMove, QPointF(at), global,
                      press ? Qt::LeftButton : Qt::NoButton, press ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(control, &event);
}

SkinLabel* Caption(QWidget* parent, const QString& text, QPoint at, int width = 300) {
    auto* label = new SkinLabel(parent, text);
    label->SetTransparent(true)
        .SetTextColor(kCaptionColor)
        .SetFontSize(kCaptionPoints)
        .SetFontBold(true);
    label->setGeometry(QRect(at, QSize(width, kCaptionHeight)));
    return label;
}

SkinLabel* Note(QWidget* parent, const QString& text, QRect rect,
                Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new SkinLabel(parent, text);
    label->SetTransparent(true)
        .SetTextColor(kNoteColor)
        .SetFontSize(kNotePoints)
        .SetAlignment(alignment);
    label->setGeometry(rect);
    return label;
}

SkinButton* Button(QWidget* parent, int bitmapId, QPoint at) {
    auto* button = new SkinButton(parent);
    button->SetSkin(bitmapId);
    button->move(at);
    return button;
}

SkinSliderButton* PositionBar(QWidget* parent, int trackId, int thumbId, QPoint at, int maximum,
                              int position) {
    auto* bar = new SkinSliderButton(parent);
    bar->SetSkin(trackId);
    bar->SetThumb(thumbId);
    bar->SetRange(0, maximum);
    bar->SetPos(position);
    bar->move(at);
    return bar;
}

PictureStatic* Picture(QWidget* parent, int bitmapId, QRect rect) {
    auto* picture = new PictureStatic(parent);
    picture->SetPicture(bitmapId);
    picture->setGeometry(rect.isEmpty() ? QRect(rect.topLeft(), picture->Picture().size()) : rect);
    return picture;
}

PictureStatic* Picture(QWidget* parent, int bitmapId, QPoint at) {
    return Picture(parent, bitmapId, QRect(at, QSize()));
}

// A four-frame strip with a mask frame appended: black where the frame is opaque.
QPixmap WithMaskFrame(const QPixmap& strip) {
    constexpr int kFrames = SkinButton::kFrameCount;
    constexpr int kHalfAlpha = 128;
    const int frameWidth = strip.width() / kFrames;
    const QImage source = strip.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage result(frameWidth * (kFrames + 1), strip.height(), QImage::Format_RGB32);
    result.fill(Qt::black);
    QPainter painter(&result);
    painter.drawImage(0, 0, source);
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < frameWidth; ++x) {
            const bool shows = qAlpha(source.pixel(x, y)) >= kHalfAlpha;
            result.setPixel(kFrames * frameWidth + x, y,
                            shows ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    painter.end();
    return QPixmap::fromImage(result);
}

// Frames for a text button, in the skins' colours: the skin set has no plain button strip.
QPixmap TextStrip(QSize frame) {
    struct FrameLook {
        QColor border;
        QColor fill;
    };
    const std::array looks = {FrameLook{QColor(62, 71, 85), QColor(40, 46, 56)},
                              FrameLook{QColor(104, 118, 138), QColor(52, 60, 73)},
                              FrameLook{kAccent, QColor(72, 50, 15)},
                              FrameLook{QColor(38, 43, 51), QColor(26, 30, 36)}};
    constexpr qreal kRadius = 5.0;
    QPixmap strip(frame.width() * static_cast<int>(looks.size()), frame.height());
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    painter.setRenderHint(QPainter::Antialiasing);
    for (size_t i = 0; i < looks.size(); ++i) {
        const QRectF box(frame.width() * static_cast<qreal>(i) + 0.5, 0.5, frame.width() - 1.0,
                         frame.height() - 1.0);
        painter.setPen(looks[i].border);
        painter.setBrush(looks[i].fill);
        painter.drawRoundedRect(box, kRadius, kRadius);
    }
    return strip;
}

void AddDashboard(QWidget* panel) {
    Picture(panel, 440, QPoint(18, 15));
    Picture(panel, 441, QPoint(7, 211));
    Picture(panel, 167, QRect(138, 285, 39, 15));
    (new ColorStatic(panel))->setGeometry(9, 325, 183, 2);
    PositionBar(panel, 446, 151, QPoint(9, 330), 1000, 420)->SetIdentifier(1);
    PositionBar(panel, 445, 154, QPoint(42, 366), 8, 4)->SetIdentifier(3);
    PositionBar(panel, 442, 155, QPoint(42, 402), 27, 9)->SetIdentifier(2);

    // Volume bar as the panel draws it: the dark bars up to the thumb, the lit ones after it.
    constexpr int kVolumePosition = 9;
    constexpr int kVolumeSteps = 28;
    constexpr QRect kBar(41, 416, 152, 35);
    const int dark = kVolumePosition * kBar.width() / kVolumeSteps;
    auto* darkPart = new PictureStatic(panel);
    darkPart->SetPicture(SkinBitmap(443).copy(0, 0, dark, kBar.height()));
    darkPart->setGeometry(kBar.x(), kBar.y(), dark, kBar.height());
    auto* litPart = new PictureStatic(panel);
    litPart->SetPicture(SkinBitmap(444).copy(dark, 0, kBar.width() - dark, kBar.height()));
    litPart->setGeometry(kBar.x() + dark, kBar.y(), kBar.width() - dark, kBar.height());
}

void AddPanelButtons(QWidget* panel) {
    Button(panel, 138, QPoint(6, 398));
    struct Row {
        QPoint first;
        int step;
        std::vector<int> ids;
    };
    const std::array rows = {Row{QPoint(6, 474), 32, {161, 146, 447, 141, 142, 140}},
                             Row{QPoint(18, 500), 32, {145, 162, 450, 451, 452}},
                             Row{QPoint(8, 537), 37, {139, 449, 147, 437, 163}}};
    for (const Row& row : rows) {
        for (size_t i = 0; i < row.ids.size(); ++i) {
            Button(panel, row.ids[i], row.first + QPoint(row.step * static_cast<int>(i), 0));
        }
    }
}

void AddTextButtons(QWidget* parent, QPoint at) {
    const QPixmap textStrip = TextStrip(QSize(72, 26));
    const std::array<Look, 3> looks = {Look::kNormal, Look::kPressed, Look::kDisabled};
    for (size_t i = 0; i < looks.size(); ++i) {
        auto* text = new SkinButton(parent);
        text->SetSkin(textStrip);
        text->SetTextColor(kCaptionColor);
        text->setText(QString::fromLatin1(kLookNames[static_cast<size_t>(looks[i])]));
        text->move(at + QPoint(80 * static_cast<int>(i), 0));
        ShowLook(text, looks[i]);
    }
    auto* bordered = new SkinButton(parent);
    bordered->SetSkin(SkinBitmap(139));
    bordered->SetStretch(true);
    bordered->SetBorder(true);
    bordered->resize(48, 30);
    bordered->move(at + QPoint(246, -2));
}

// The same strip with and without its mask over a busy backdrop: corners show through one.
void AddMaskDemo(QWidget* parent, QPoint at) {
    constexpr int kFrameWidth = 32;
    const QPixmap strip = WithMaskFrame(SkinBitmap(140));
    Picture(parent, 159, QRect(at + QPoint(-4, -4), QSize(100, 30)));
    auto* masked = new SkinButton(parent);
    masked->SetSkin(strip);
    masked->SetMaskMode(true);
    masked->move(at + QPoint(4, 0));
    auto* plain = new SkinButton(parent);
    plain->SetSkin(strip.copy(0, 0, SkinButton::kFrameCount * kFrameWidth, strip.height()));
    plain->move(at + QPoint(52, 0));
}

// Labels in the looks the windows use; returns the y below them.
int AddLabels(QWidget* parent, QPoint at) {
    int y = at.y();
    auto* heading = new SkinLabel(parent, QStringLiteral("SD Card"));
    heading->SetFontName(QStringLiteral("Arial"))
        .SetFontSize(20)
        .SetFontBold(true)
        .SetTextColor(Qt::white)
        .SetTransparent(true);
    heading->setGeometry(at.x(), y, 300, 36);
    y += 42;
    auto* filled = new SkinLabel(parent, QStringLiteral("Background colour"));
    filled->SetBkColor(QColor(38, 44, 54)).SetTextColor(kAccent).SetFontSize(10);
    filled->setGeometry(at.x(), y, 300, 24);
    y += 30;
    auto* styled = new SkinLabel(parent, QStringLiteral("Underlined italic"));
    styled->SetTransparent(true)
        .SetTextColor(kCaptionColor)
        .SetFontUnderline(true)
        .SetFontItalic(true)
        .SetFontSize(10);
    styled->setGeometry(at.x(), y, 300, 24);
    y += 30;
    auto* sunken = new SkinLabel(parent, QStringLiteral("Sunken, centred"));
    sunken->SetBkColor(QColor(7, 9, 12))
        .SetTextColor(kCaptionColor)
        .SetSunken(true)
        .SetAlignment(Qt::AlignCenter)
        .SetFontSize(10);
    sunken->setGeometry(at.x(), y, 300, 26);
    y += 32;
    auto* link = new SkinLabel(parent, QStringLiteral("Link"));
    link->SetTransparent(true)
        .SetTextColor(QColor(84, 164, 255))
        .SetFontUnderline(true)
        .SetLink(true, true)
        .SetFontSize(10);
    link->setGeometry(at.x(), y, 300, 24);
    y += 40;
    return y;
}

void AddRangeBars(QWidget* parent, QPoint at) {
    int y = at.y();
    struct Range {
        const char* name;
        unsigned total;
        unsigned start;
        unsigned end;
    };
    const std::array ranges = {Range{"nothing marked", 0, 0, 0}, Range{"in to out", 100, 20, 65},
                               Range{"in only", 100, 70, 0}};
    for (const Range& range : ranges) {
        Note(parent, QString::fromLatin1(range.name), QRect(at.x(), y - 4, 100, 18));
        auto* bar = new ColorStatic(parent);
        bar->SetRange(range.total, range.start, range.end);
        bar->setGeometry(at.x() + 104, y, 196, 10);
        y += 24;
    }
}

}  // namespace

QColor ControlsGallery::BackgroundColor() {
    return kBackground;
}

ControlsGallery::ControlsGallery(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Velmaro controls"));
    QPalette shade = palette();
    shade.setColor(QPalette::Window, kBackground);
    shade.setColor(QPalette::Light, kEmbossLight);
    shade.setColor(QPalette::Disabled, QPalette::Text, kEmbossText);
    setPalette(shade);
    setAutoFillBackground(true);
    setFixedSize(kGallerySize);
    BuildPanelPreview();
    BuildButtonTable();
    BuildCheckAndRadio();
    BuildSliders();
    BuildStatics();
    BuildPictures();
    BuildDisplays();
}

// The compact play panel (UI mode 0) assembled from its skins at their layout positions.
void ControlsGallery::BuildPanelPreview() {
    constexpr QPoint kOrigin(16, 40);
    Caption(this, QStringLiteral("Skinned dialog"), kOrigin, 210);
    auto* panel = new SkinDialog(this, SkinDialog::Placement::kChild);
    panel->SetSkin(439);
    panel->setGeometry(QRect(kOrigin + QPoint(0, kCaptionHeight + 6), panel->SkinSize()));
    panel->SetCornerEllipse(16, 16);
    panel->SetDraggable(false);
    AddDashboard(panel);
    AddPanelButtons(panel);
}

void ControlsGallery::BuildButtonTable() {
    constexpr int kTop = 40;
    constexpr int kRowTop = kTop + kCaptionHeight + kNoteHeight + 10;
    Caption(this, QStringLiteral("Skinned buttons"), QPoint(244, kTop));
    struct Column {
        int left;
        int nameWidth;
        int step;
    };
    const Column rowColumn{244, 122, 48};
    const Column toolColumn{574, 100, 50};
    for (const Column& column : {rowColumn, toolColumn}) {
        for (size_t look = 0; look < kLooks.size(); ++look) {
            const int x = column.left + column.nameWidth + column.step * static_cast<int>(look);
            Note(this, QString::fromLatin1(kLookNames[look]),
                 QRect(x - 10, kTop + kCaptionHeight, column.step + 10, kNoteHeight),
                 Qt::AlignCenter);
        }
    }
    auto addRow = [this](const Column& column, const Strip& strip, int y) {
        Note(this, QStringLiteral("%1 %2").arg(strip.id).arg(QString::fromLatin1(strip.name)),
             QRect(column.left, y, column.nameWidth, 22));
        for (size_t look = 0; look < kLooks.size(); ++look) {
            const int x = column.left + column.nameWidth + column.step * static_cast<int>(look);
            ShowLook(Button(this, strip.id, QPoint(x, y)), kLooks[look]);
        }
    };
    int y = kRowTop;
    for (const Strip& strip : kRowButtons) {
        addRow(rowColumn, strip, y);
        y += 30;
    }
    y = kRowTop;
    for (const Strip& strip : kToolButtons) {
        addRow(toolColumn, strip, y);
        y += 42;
    }
    y += 6;
    for (const Strip& strip : kTitleButtons) {
        addRow(toolColumn, strip, y);
        y += 32;
    }
}

void ControlsGallery::BuildCheckAndRadio() {
    constexpr QPoint kOrigin(244, 530);
    Caption(this, QStringLiteral("Check box, radio group, text, mask"), kOrigin, 400);
    const int top = kOrigin.y() + kCaptionHeight + 8;
    const int left = kOrigin.x() + 110;

    Note(this, QStringLiteral("check: off, on"), QRect(kOrigin.x(), top, 104, 22));
    Button(this, 148, QPoint(left, top))->SetMode(SkinButton::Mode::kCheck);
    auto* checked = Button(this, 148, QPoint(left + 42, top));
    checked->SetMode(SkinButton::Mode::kCheck);
    checked->SetCheck(true);

    Note(this, QStringLiteral("radio group"), QRect(kOrigin.x(), top + 32, 104, 22));
    auto* group = new SkinButtonGroup(this);
    const std::array radios = {140, 141, 142};
    for (size_t i = 0; i < radios.size(); ++i) {
        auto* radio = Button(this, radios[i], QPoint(left + 42 * static_cast<int>(i), top + 32));
        radio->SetMode(SkinButton::Mode::kRadio);
        group->Add(radio);
    }
    group->Buttons().at(1)->SetCheck(true);
    Note(this, QStringLiteral("another group"), QRect(left + 136, top + 32, 90, 22));
    auto* lone = Button(this, 447, QPoint(left + 226, top + 32));
    lone->SetMode(SkinButton::Mode::kRadio);
    lone->SetCheck(true);

    Note(this, QStringLiteral("text, border"), QRect(kOrigin.x(), top + 64, 104, 26));
    AddTextButtons(this, QPoint(left, top + 64));
    Note(this, QStringLiteral("mask mode, plain"), QRect(kOrigin.x(), top + 108, 104, 22));
    AddMaskDemo(this, QPoint(left, top + 108));
}

void ControlsGallery::BuildSliders() {
    constexpr QPoint kOrigin(886, 40);
    Caption(this, QStringLiteral("Position bars"), kOrigin);
    struct Bar {
        const char* name;
        int track;
        int thumb;
        int maximum;
        int position;
        Look look;
    };
    const std::array bars = {
        Bar{"seek, start", 133, 151, 1000, 0, Look::kNormal},
        Bar{"seek, hover", 133, 151, 1000, 500, Look::kHover},
        Bar{"seek, dragged", 133, 151, 1000, 750, Look::kPressed},
        Bar{"seek, disabled", 133, 151, 1000, 1000, Look::kDisabled},
        Bar{"speed", 153, 154, 8, 4, Look::kNormal},
        Bar{"speed, dragged", 153, 154, 8, 8, Look::kPressed},
        Bar{"volume", 152, 155, 27, 0, Look::kNormal},
        Bar{"volume, disabled", 152, 155, 27, 20, Look::kDisabled},
        Bar{"compact seek", 446, 151, 1000, 300, Look::kNormal},
        Bar{"compact speed", 445, 154, 8, 2, Look::kNormal},
        Bar{"compact volume", 442, 155, 27, 13, Look::kHover},
    };
    int y = kOrigin.y() + kCaptionHeight + 8;
    for (const Bar& bar : bars) {
        Note(this, QString::fromLatin1(bar.name), QRect(kOrigin.x(), y, 110, 18));
        auto* slider = PositionBar(this, bar.track, bar.thumb, QPoint(kOrigin.x() + 114, y),
                                   bar.maximum, bar.position);
        const int x = slider->ThumbRect().center().x();
        ShowLook(slider, bar.look, QPoint(x, slider->height() / 2));
        y += 26;
    }

    y += 12;
    Caption(this, QStringLiteral("Bitmap sliders"), QPoint(kOrigin.x(), y));
    y += kCaptionHeight + 8;
    const std::array<std::pair<const char*, Look>, 3> sliders = {
        {{"normal", Look::kNormal}, {"dragged", Look::kPressed}, {"disabled", Look::kDisabled}}};
    int position = 25;
    for (const auto& [name, look] : sliders) {
        Note(this, QString::fromLatin1(name), QRect(kOrigin.x(), y, 110, 46));
        auto* slider = new BitmapSlider(this);
        slider->SetBitmapChannel(160, 159);
        slider->SetBitmapThumb(155, 151, Qt::black);
        slider->SetRange(0, 100);
        slider->SetPos(position);
        slider->setGeometry(QRect(QPoint(kOrigin.x() + 114, y), slider->sizeHint()));
        ShowLook(slider, look, slider->ThumbRect().center());
        position += 30;
        y += 54;
    }
}

void ControlsGallery::BuildStatics() {
    constexpr QPoint kOrigin(1262, 40);
    Caption(this, QStringLiteral("Labels"), kOrigin);
    const int below = AddLabels(this, kOrigin + QPoint(0, kCaptionHeight + 8));
    Caption(this, QStringLiteral("Range bars"), QPoint(kOrigin.x(), below));
    AddRangeBars(this, QPoint(kOrigin.x(), below + kCaptionHeight + 8));
}

void ControlsGallery::BuildPictures() {
    constexpr QPoint kOrigin(1262, 400);
    Caption(this, QStringLiteral("Pictures"), kOrigin);
    const int top = kOrigin.y() + kCaptionHeight + 8;
    Picture(this, 167, QPoint(kOrigin.x(), top));
    Picture(this, 166, QPoint(kOrigin.x() + 60, top));
    Picture(this, 167, QRect(kOrigin.x() + 120, top + 3, 39, 15));
    Picture(this, 166, QRect(kOrigin.x() + 166, top + 3, 39, 15));
    Picture(this, 150, QPoint(kOrigin.x(), top + 30));
    Picture(this, 156, QPoint(kOrigin.x(), top + 66));
    Picture(this, 158, QPoint(kOrigin.x() + 236, top + 66));
    Picture(this, 157, QPoint(kOrigin.x() + 262, top + 66));
    Picture(this, 132, QPoint(kOrigin.x(), top + 284));

    constexpr QPoint kBackgrounds(16, 700);
    Caption(this, QStringLiteral("Window backgrounds (scaled)"), kBackgrounds);
    const int y = kBackgrounds.y() + kCaptionHeight + 8;
    Picture(this, 438, QRect(16, y, 192, 120));
    Picture(this, 131, QRect(216, y, 192, 120));
    Picture(this, 448, QRect(416, y, 213, 120));
    Picture(this, 439, QRect(640, y, 41, 120));
    Picture(this, 130, QRect(690, y, 41, 120));
    Picture(this, 454, QRect(740, y, 41, 120));
}

// The dashboard's segment read-outs and the recording calendar with marked days.
void ControlsGallery::BuildDisplays() {
    constexpr QPoint kOrigin(820, 560);
    Caption(this, QStringLiteral("Segment display, calendar"), kOrigin, 420);
    const int top = kOrigin.y() + kCaptionHeight + 8;
    auto* speed = new SegmentDisplay(this);
    speed->SetColor(QColor(0x3a, 0x2a, 0x10), QColor(0xff, 0xa8, 0x2e));
    speed->SetBackgroundColor(kBackground);
    speed->SetText(QStringLiteral("88"));
    speed->setGeometry(kOrigin.x(), top, 120, 64);
    auto* clock = new SegmentDisplay(this);
    clock->SetColor(QColor(0x10, 0x2a, 0x34), QColor(0x5c, 0xd0, 0xff));
    clock->SetBackgroundColor(kBackground);
    clock->SetText(QStringLiteral("12:34"));
    clock->setGeometry(kOrigin.x(), top + 76, 160, 48);
    auto* calendar = new MonthCalendar(this);
    calendar->SetCurrentDate(QDate(2026, 6, 12));
    for (int day : {3, 4, 11, 12, 19}) {
        calendar->AddMark(QDate(2026, 6, day));
    }
    calendar->setGeometry(kOrigin.x() + 180, top, 253, 150);
}

}  // namespace velmaro
