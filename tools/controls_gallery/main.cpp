// controls-gallery: shows every skinned control in every state. With --screenshot FILE it
// writes a PNG of the window instead and exits (0 when the file was written).
#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <cstdio>

#include "tools/controls_gallery/controls_gallery.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Every skinned control in every state."));
    parser.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Write a PNG of the window and exit."),
                                        QStringLiteral("FILE"));
    parser.addOption(screenshot);
    parser.process(app);

    velmaro::CVxControlsGallery gallery;
    if (!parser.isSet(screenshot)) {
        gallery.show();
        return QApplication::exec();
    }
    const QString file = parser.value(screenshot);
    if (!gallery.grab().save(file, "PNG")) {
        std::fprintf(stderr, "controls-gallery: cannot write %s\n", qPrintable(file));
        return 1;
    }
    return 0;
}
