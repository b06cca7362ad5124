// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/app_look.h"

#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QString>
#include <QStyleFactory>

#include "app/app_settings.h"

namespace velmaro {
namespace {

// The skin's colours: its near-black ground, the grey of its frames and its amber accent.
const QColor kGround(0x07, 0x09, 0x0c);
const QColor kPanel(0x1a, 0x1f, 0x27);
const QColor kFrame(0x2c, 0x33, 0x3e);
const QColor kText(0xe4, 0xe7, 0xeb);
const QColor kMutedText(0x7d, 0x86, 0x93);
const QColor kAccent(0xff, 0xa6, 0x2b);
const QColor kLink(0xff, 0xc2, 0x6b);

constexpr const char* kIconName = "org.velmaro.Velmaro";
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

QPalette DarkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, kPanel);
    p.setColor(QPalette::WindowText, kText);
    p.setColor(QPalette::Base, kGround);
    p.setColor(QPalette::AlternateBase, kPanel);
    p.setColor(QPalette::Text, kText);
    p.setColor(QPalette::Button, kFrame);
    p.setColor(QPalette::ButtonText, kText);
    p.setColor(QPalette::BrightText, kAccent);
    p.setColor(QPalette::Highlight, kAccent);
    p.setColor(QPalette::HighlightedText, kGround);
    p.setColor(QPalette::ToolTipBase, kFrame);
    p.setColor(QPalette::ToolTipText, kText);
    p.setColor(QPalette::PlaceholderText, kMutedText);
    p.setColor(QPalette::Link, kLink);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, kMutedText);
    }
    return p;
}

// The installed icon theme's, else the icons that sit beside the executables in a build.
QIcon AppIcon() {
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(kIconName));
    if (!icon.isNull()) {
        return icon;
    }
    for (const int size : kIconSizes) {
        const std::string file = "icons/hicolor/" + std::to_string(size) + "x" +
                                 std::to_string(size) + "/apps/" + kIconName + ".png";
        icon.addFile(QString::fromStdString(DataPath(file).string()));
    }
    return icon;
}

}  // namespace

void ApplyAppLook(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(fusion);
    }
    QApplication::setPalette(DarkPalette());
    app.setWindowIcon(AppIcon());
}

}  // namespace velmaro
