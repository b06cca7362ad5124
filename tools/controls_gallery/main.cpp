// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// controls-gallery: shows every skinned control in every state. With --screenshot FILE it
// writes a PNG of the window instead and exits (0 when the file was written).
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <optional>
#include <string>

#include "tools/common/command_line.h"
#include "tools/controls_gallery/controls_gallery.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // takes Qt's own options (-platform ...) out of argv
    velmaro::CommandLine commandLine("controls-gallery", "Every skinned control in every state.");
    std::string screenshot;
    commandLine.Parser()
        .add_option("--screenshot", screenshot, "write a PNG of the window to FILE and exit")
        ->check(velmaro::NonEmpty())
        ->type_name("FILE");
    if (const std::optional<int> status = commandLine.Parse(argc, argv)) {
        return *status;
    }

    velmaro::ControlsGallery gallery;
    if (screenshot.empty()) {
        gallery.show();
        return QApplication::exec();
    }
    const QString file = QString::fromStdString(screenshot);
    if (!gallery.grab().save(file, "PNG")) {
        std::fprintf(stderr, "controls-gallery: cannot write %s\n", qPrintable(file));
        return 1;
    }
    return 0;
}
