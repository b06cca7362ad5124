// velmaro: the player. Start-up order and settings live in CTavrelApp; the window it runs is
// the player window until the full main window takes its place.
#include "ui/player_window.h"
#include "ui/tavrel_app.h"

int main(int argc, char** argv) {
    if (velmaro::AnswerInformationalOption(argc, argv)) {
        return 0;
    }
    velmaro::CTavrelApp app(argc, argv);
    return app.Run([](velmaro::CTavrelApp& a) {
        auto window = std::make_unique<velmaro::PlayerWindow>(a);
        if (!a.commandLineFile.empty()) {
            window->OpenRecording(QString::fromStdString(a.commandLineFile));
        }
        return window;
    });
}
