// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// SkinLabel: a text label whose font, colours and look are set one property at a time; every
// setter repaints and returns the label, so settings chain.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace velmaro {

class SkinLabel : public QWidget {
    Q_OBJECT

  public:
    // Longest face name a font description holds.
    static constexpr int kMaxFaceLength = 31;

    explicit SkinLabel(QWidget* parent = nullptr, const QString& text = QString());

    SkinLabel& SetText(const QString& text);
    SkinLabel& SetTextColor(const QColor& color);
    SkinLabel& SetBkColor(const QColor& color);
    SkinLabel& SetTransparent(bool transparent);
    SkinLabel& SetFontName(const QString& face);
    SkinLabel& SetFontSize(int points);
    SkinLabel& SetFontBold(bool bold);
    SkinLabel& SetFontUnderline(bool underline);
    SkinLabel& SetFontItalic(bool italic);
    SkinLabel& SetAlignment(Qt::Alignment alignment);
    SkinLabel& SetBorder(bool border);
    SkinLabel& SetSunken(bool sunken);
    // A link label shows a pointing hand; a click emits Clicked() when the parent is to be
    // told, otherwise it opens the label's text as an address.
    SkinLabel& SetLink(bool link, bool notifyParent = false);
    // Blinks the text (every half second) until switched off.
    SkinLabel& FlashText(bool flash);

    QString Text() const { return text_; }
    QColor TextColor() const { return textColor_; }
    QColor BkColor() const { return bkColor_; }
    bool IsTransparent() const { return transparent_; }
    const QFont& Font() const { return font_; }
    bool IsFlashing() const { return flashTimer_.isActive(); }

    QSize sizeHint() const override;

  signals:
    void Clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    SkinLabel& Changed();
    void ToggleFlash();

    QString text_;
    QColor textColor_;
    QColor bkColor_;
    bool transparent_ = false;
    QFont font_;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    bool border_ = false;
    bool sunken_ = false;
    bool link_ = false;
    bool notifyParent_ = false;
    QTimer flashTimer_;
    bool flashHidden_ = false;
};

}  // namespace velmaro
