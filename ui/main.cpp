// velmaro: the player. Start-up order and settings live in CTavrelApp; the window it runs is
// the main window, which opens the recording named on the command line or a camera card once
// the event loop runs.
#include <QTimer>

#include "app/app_settings.h"
#include "ui/tavrel_app.h"
#include "ui/tavrel_dlg.h"

int main(int argc, char** argv) {
    if (velmaro::AnswerInformationalOption(argc, argv)) {
        return 0;
    }
    velmaro::CTavrelApp app(argc, argv);
    return app.Run([](velmaro::CTavrelApp& a) {
        auto window = std::make_unique<velmaro::CTavrelDlg>(a, velmaro::Settings().uiMode);
        QTimer::singleShot(0, window.get(), [w = window.get()] { w->Start(); });
        return window;
    });
}
