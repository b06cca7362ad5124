// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the preferences dialog decides, without its widgets: the screen checks of a chosen UI
// size, the list positions the current settings select, and the changes that confirming the
// dialog makes to the settings record (the language stored at once, the rest at exit).
#pragma once

#include <string>
#include <string_view>

#include "app/app_settings.h"

namespace velmaro {

inline constexpr int kUiModeChoices = 3;
inline constexpr int kDisplayModeChoices = 2;
inline constexpr int kSpeedUnitChoices = 3;
// Entry i of the amplification list stands for the factor i + 1 (100 % .. 1000 %).
inline constexpr int kAmplificationChoices = 10;

inline constexpr std::string_view kScreenBelow1280x800 = "Screen Resolution is Less than 1280*800";
inline constexpr std::string_view kScreenBelow1920x1080 =
    "Screen Resolution is Less than 1920*1080";
inline constexpr std::string_view kRestartNotice =
    "UI has been modified, please restart the program";
inline constexpr std::string_view kRelativeFolderNotice =
    "The snapshot folder must be a full path, such as ~/Pictures/Velmaro";

struct UiModeCheck {
    int selection = 0;         // what the list shows after the check
    std::string_view message;  // English key of the warning to show first; empty for none
};

// A UI size the screen cannot hold falls back to the largest one it can, with the reason.
UiModeCheck CheckUiModeChoice(int choice, ScreenSize screen);

// List positions for stored values. Config.ini is read as it stands, so a value may lie outside
// its list; the nearest entry is shown so that confirming the dialog stores a valid one.
int UiModeSelection(const AppSettings& settings);
int ChoiceSelection(int value, int choices);
int AmplificationSelection(int factor);
int AmplificationFactor(int selection);

struct PreferenceChoices {
    std::string snapshotFolder;  // from SnapshotFolderFromText; empty keeps the current one
    int uiMode = kUiMode960x600;
    int displayMode = 0;
    int unitOfSpeed = 0;
    int amplification = 0;  // list position
    int language = -1;      // table row; -1 when no entry is selected
};

struct PreferencesOutcome {
    bool restartNeeded = false;  // the size for the next start differs from this run's
    bool languageStored = false;
};

// The snapshot folder a typed text stands for: blanks around it dropped, "~" for the home
// folder; empty when it is no absolute path, which the settings would drop at the next start.
std::string SnapshotFolderFromText(std::string_view text, std::string_view home);

// Confirms the dialog: updates the record, makes the chosen language active and writes
// "Language File".
PreferencesOutcome ApplyPreferences(AppSettings& settings, const PreferenceChoices& choices);

}  // namespace velmaro
