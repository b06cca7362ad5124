// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// ControlsGallery: one window showing every skinned control in every state, over the skin
// set compiled into the program: a compact play panel put together from the skins, each button
// strip as normal, hover, pressed and disabled, check and radio buttons, position bars and
// bitmap sliders, labels, range bars and pictures. Used by the controls-gallery tool and by the
// tests that check what the controls draw.
#pragma once

#include <QWidget>

namespace velmaro {

class ControlsGallery : public QWidget {
    Q_OBJECT

  public:
    // The flat colour behind the sections.
    static QColor BackgroundColor();

    explicit ControlsGallery(QWidget* parent = nullptr);

  private:
    void BuildPanelPreview();
    void BuildButtonTable();
    void BuildCheckAndRadio();
    void BuildSliders();
    void BuildStatics();
    void BuildPictures();
    void BuildDisplays();
};

}  // namespace velmaro
