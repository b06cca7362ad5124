// CLabel: a text label whose font, colours and look are set one property at a time; every
// setter repaints and returns the label, so settings chain.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace velmaro {

class CLabel : public QWidget {
    Q_OBJECT

  public:
    // Longest face name a font description holds.
    static constexpr int kMaxFaceLength = 31;

    explicit CLabel(QWidget* parent = nullptr, const QString& text = QString());

    CLabel& SetText(const QString& text);
    CLabel& SetTextColor(const QColor& color);
    CLabel& SetBkColor(const QColor& color);
    CLabel& SetTransparent(bool transparent);
    CLabel& SetFontName(const QString& face);
    CLabel& SetFontSize(int points);
    CLabel& SetFontBold(bool bold);
    CLabel& SetFontUnderline(bool underline);
    CLabel& SetFontItalic(bool italic);
    CLabel& SetAlignment(Qt::Alignment alignment);
    CLabel& SetBorder(bool border);
    CLabel& SetSunken(bool sunken);
    // A link label shows a pointing hand; a click emits Clicked() when the parent is to be
    // told, otherwise it opens the label's text as an address.
    CLabel& SetLink(bool link, bool notifyParent = false);
    // Blinks the text (every half second) until switched off.
    CLabel& FlashText(bool flash);

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
    CLabel& Changed();
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
