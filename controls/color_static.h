// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// ColorStatic: a range bar. Black, with the stretch from start to end (in units of the total)
// in red, or a blue marker at the start when the stretch is empty.
#pragma once

#include <QWidget>

namespace velmaro {

class ColorStatic : public QWidget {
    Q_OBJECT

  public:
    explicit ColorStatic(QWidget* parent = nullptr);

    void SetRange(unsigned total, unsigned start, unsigned end);
    unsigned Total() const { return total_; }
    unsigned Start() const { return start_; }
    unsigned End() const { return end_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int ToX(unsigned value) const;

    unsigned total_ = 0;
    unsigned start_ = 0;
    unsigned end_ = 0;
};

}  // namespace velmaro
