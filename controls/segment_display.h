// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// SegmentDisplay: a static read-out that shows a short text as lit segments, like an LED or LCD
// display. The speed read-out of the play control panel is one. Each character becomes a
// character object of digi_segments.h; its outlines are traced onto the control whenever the
// text, the style or the size changes, and painting only fills and strokes the traced paths.
// Painting goes through the widget's backing store, so frequent updates do not flicker.
#pragma once

#include <QColor>
#include <QPainterPath>
#include <QString>
#include <QWidget>
#include <vector>

#include "controls/segment_chars.h"

class QPainter;

namespace velmaro {

inline constexpr QRgb kDigiDefaultUnlit = qRgb(0, 52, 0);
inline constexpr QRgb kDigiDefaultLit = qRgb(0, 255, 0);
inline constexpr QRgb kDigiDefaultBackground = qRgb(0, 0, 0);

// Outline colour of a segment with soft edges: three parts segment colour, one part background,
// per channel, truncated.
QColor SoftEdgeColor(QColor segment, QColor background);

class SegmentDisplay : public QWidget {
    Q_OBJECT

  public:
    explicit SegmentDisplay(QWidget* parent = nullptr);

    // An equal text changes nothing and repaints nothing.
    void SetText(const QString& text);
    const QString& Text() const { return text_; }

    void SetColor(QColor unlit, QColor lit);
    QColor UnlitColor() const { return unlit_; }
    QColor LitColor() const { return lit_; }

    void ModifyStyleBits(unsigned remove, unsigned add);
    unsigned StyleBits() const { return style_; }

    void SetBackgroundColor(QColor background);
    QColor BackgroundColor() const { return background_; }

    // Limits the widget's shape to the drawn segments; the parent shows everywhere else.
    void SetRegionFlag(bool on);
    bool RegionFlag() const { return regionFlag_; }

    // Repaint synchronously on a change instead of scheduling an update.
    void SetRedrawAtOnce(bool on) { redrawAtOnce_ = on; }

    // The character objects and where they land on the current size.
    const DigiChars& Chars() const { return chars_; }
    int TextUnits() const { return units_; }
    const DigiPlacement& Placement() const { return placement_; }

    QSize sizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    struct DrawnSegment {
        QPainterPath path;
        bool lit = false;
    };

    void TextOrStyleChanged();
    void Relayout();
    void Reshape();
    void Repaint();
    void DrawSegments(QPainter& painter) const;
    QColor PenColor(QColor segment) const;

    QString text_;
    bool modified_ = true;
    DigiChars chars_;
    unsigned style_ = kDigiDefaultStyle;
    QColor unlit_ = QColor(kDigiDefaultUnlit);
    QColor lit_ = QColor(kDigiDefaultLit);
    QColor background_ = QColor(kDigiDefaultBackground);
    bool redrawAtOnce_ = false;
    bool regionFlag_ = false;

    int units_ = 0;
    DigiPlacement placement_;
    std::vector<DrawnSegment> drawn_;
};

}  // namespace velmaro
