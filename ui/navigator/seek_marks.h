// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Incident marks over the seek bar: small triangles above and below the track where, by share
// of the file (as the seek bar counts), something happened in the file being played. Lies over
// the slider as its child and lets every mouse event through to it.
#pragma once

#include <QWidget>
#include <vector>

namespace velmaro {

class SkinSliderButton;

class SeekMarks : public QWidget {
    Q_OBJECT

  public:
    explicit SeekMarks(SkinSliderButton* slider);

    // Per mille of the file, 0..1000.
    void SetMarks(std::vector<int> perMille);
    const std::vector<int>& Marks() const { return marks_; }
    // Where the mark of `perMille` is drawn, in the slider's coordinates (the thumb's centre
    // at that position).
    int MarkX(int perMille) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    SkinSliderButton* const slider_;
    std::vector<int> marks_;
};

}  // namespace velmaro
