// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// PreferencesDialog: the player's preferences, opened modally by the panel's "Config" button. It
// shows the version and edits the snapshot folder, the language, the UI size (checked against the
// screen), the display mode, the unit of speed and the sound amplification. OK writes the
// language to Config.ini at once; the rest reaches the file when the player exits.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

#include "app/app_settings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmaro {

class PlayPanel;
class LanguageTable;

class PreferencesDialog : public QDialog {
    Q_OBJECT

  public:
    enum ControlId : int {
        kIdSnapshotPath = 1007,
        kIdSnapshotLabel = 1008,
        kIdBrowse = 1009,
        kIdLanguage = 1010,
        kIdLanguageLabel = 1011,
        kIdVersionLabel = 1012,
        kIdVersion = 1013,
        kIdUiMode = 1014,
        kIdUiModeLabel = 1015,
        kIdDisplayMode = 1016,
        kIdDisplayModeLabel = 1017,
        kIdUnitOfSpeed = 1018,
        kIdUnitOfSpeedLabel = 1019,
        kIdAmplification = 1020,
        kIdAmplificationLabel = 1021,
        kIdOk = 1,
        kIdCancel = 2,
    };

    // Edits `settings`; texts come from `languages` in the settings' active language.
    PreferencesDialog(AppSettings& settings, const LanguageTable& languages,
                      const std::string& versionText, QWidget* parent = nullptr);

    // Replaceable for tests: the screen the UI sizes are checked against, the folder chooser
    // ((current folder) -> chosen folder, empty when cancelled) and the message box (modal).
    std::function<ScreenSize()> screenSize;
    std::function<QString(const QString& current)> chooseFolder;
    std::function<void(const QString& text)> showMessage;
    // Called after OK has changed the settings, for the windows that show them.
    std::function<void()> applied;

    QComboBox* List(int id) const;
    QLineEdit* SnapshotEdit() const { return snapshotEdit_; }
    QPushButton* Button(int id) const;

    void accept() override;

  private:
    QString Text(std::string_view key) const;
    void CreateControls();
    void FillLists();
    void Browse();
    void OnUiModeChosen(int choice);

    AppSettings& settings_;
    const LanguageTable& languages_;
    QLineEdit* snapshotEdit_ = nullptr;
    QLabel* version_ = nullptr;
    QComboBox* language_ = nullptr;
    QComboBox* uiMode_ = nullptr;
    QComboBox* displayMode_ = nullptr;
    QComboBox* unitOfSpeed_ = nullptr;
    QComboBox* amplification_ = nullptr;
    QPushButton* browse_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// The panel's "Config" action: runs the dialog modally over `panel` on the process's settings
// and, when confirmed, refreshes the panel's tooltips, speed unit and the playing sound.
void RunPreferences(PlayPanel& panel, const std::string& versionText);

}  // namespace velmaro
