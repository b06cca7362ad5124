// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preferences.h"

#include <algorithm>

#include "app/language_table.h"

namespace velmaro {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

}  // namespace

UiModeCheck CheckUiModeChoice(int choice, ScreenSize screen) {
    const int screenClass = ScreenClass(screen);
    if (choice >= kUiMode1280x800 && screenClass < kUiMode1280x800) {
        return {kUiMode960x600, kScreenBelow1280x800};
    }
    if (choice >= kUiMode1920x1080 && screenClass < kUiMode1920x1080) {
        return {kUiMode1280x800, kScreenBelow1920x1080};
    }
    return {choice, {}};
}

// The size the next start will use: a change made earlier in this run is shown, or confirming
// the dialog unchanged would silently keep a size the list no longer shows.
int UiModeSelection(const AppSettings& settings) {
    const int mode =
        settings.pendingUiMode >= kUiMode960x600 ? settings.pendingUiMode : settings.uiMode;
    return ChoiceSelection(mode, kUiModeChoices);
}

int ChoiceSelection(int value, int choices) {
    return std::clamp(value, 0, choices - 1);
}

int AmplificationSelection(int factor) {
    return ChoiceSelection(factor - 1, kAmplificationChoices);
}

int AmplificationFactor(int selection) {
    return ChoiceSelection(selection, kAmplificationChoices) + 1;
}

std::string SnapshotFolderFromText(std::string_view text, std::string_view home) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
    std::string folder;
    if (text == "~" || text.starts_with("~/")) {
        folder = std::string(home) + std::string(text.substr(1));
    } else {
        folder = std::string(text);
    }
    if (!folder.starts_with('/')) {
        return {};
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

PreferencesOutcome ApplyPreferences(AppSettings& settings, const PreferenceChoices& choices) {
    PreferencesOutcome outcome;
    if (!choices.snapshotFolder.empty()) {
        settings.snapshotPath = choices.snapshotFolder;
    }
    const int uiMode = ChoiceSelection(choices.uiMode, kUiModeChoices);
    if (uiMode != UiModeSelection(settings)) {
        // Going back to the size of this run needs no restart.
        outcome.restartNeeded = uiMode != settings.uiMode;
        settings.pendingUiMode = uiMode;
    }
    settings.displayMode = ChoiceSelection(choices.displayMode, kDisplayModeChoices);
    settings.unitOfSpeed = ChoiceSelection(choices.unitOfSpeed, kSpeedUnitChoices);
    settings.soundAmplification = AmplificationFactor(choices.amplification);
    if (!LanguageStem(choices.language).empty()) {
        settings.pendingLanguage = choices.language;
    }
    outcome.languageStored = SaveLanguage(settings);
    return outcome;
}

}  // namespace velmaro
