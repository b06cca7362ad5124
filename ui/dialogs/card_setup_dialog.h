// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// CardSetupDialog: the card setup dialog. The user picks the camera card among the removable drives
// that hold one, edits every camera setting and the camera clock, and writes them to the card's
// "usrset.dat"; the dialog also restores the defaults, formats the card (through the format
// service) and clears it, after a question that names the card and what will be lost. Formatting
// and clearing run on a worker so that the window stays responsive; the dialog refuses to close
// until the worker is done.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "camera/camera_settings.h"
#include "controls/skin_dialog.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QTimer;

namespace velmaro {

class CardFormatter;
class SkinLabel;
class SkinButton;

class CardSetupDialog : public SkinDialog {
    Q_OBJECT

  public:
    static constexpr int kFillTimerId = 100;
    static constexpr int kFillDelayMs = 1000;
    static constexpr char kPickerFormat[] = "yyyy/MM/dd HH:mm";
    static constexpr char kChooseCard[] = "Choose the camera card";
    static constexpr char kClearQuestion[] = "Erase all %1 files (%2) on %3?";
    static constexpr char kFormatQuestion[] = "All %1 files (%2) on %3 will be lost. Format it?";

    // What the dialog needs of the player: the recording being played (empty when none) and a
    // way to stop it before the card under it is formatted or cleared.
    struct PlaybackHooks {
        std::function<std::string()> playingFile;
        std::function<void()> stopPlayback;
    };
    // Shows a message with an OK button.
    using MessageFn = std::function<void(const QString& text)>;
    // Asks a Yes/No question with the caption "Tip"; true for Yes.
    using ConfirmFn = std::function<bool(const QString& question)>;
    // The drive roots to offer, in the order to list them.
    using DriveLister = std::function<std::vector<std::string>()>;

    CardSetupDialog(QWidget* parent, std::shared_ptr<CardFormatter> formatter, PlaybackHooks hooks);
    ~CardSetupDialog() override;

    // Replaceable for tests: message boxes, the confirmation and the drive roots.
    MessageFn showMessage;
    ConfirmFn confirm;
    DriveLister listDrives;

    // The buttons' actions.
    void Set();
    void Default();
    void Format();
    void Clear();

    // What "Set" would write.
    const CameraSettings& Record() const { return settings_; }
    bool IsFilled() const { return filled_; }
    // A format or clear is running on the worker.
    bool IsBusy() const { return busy_; }
    QString LastMessage() const { return lastMessage_; }
    QComboBox* DriveList() const { return driveList_; }
    // The list of the option named as in CameraOptions(); null for an unknown name.
    QComboBox* OptionList(std::string_view name) const;
    QDateTimeEdit* Picker() const { return picker_; }
    QCheckBox* SetTimeBox() const { return setTime_; }
    SkinButton* Button(int id) const;

    enum ButtonId : int { kIdSet = 1, kIdCancel = 2, kIdDefault = 3, kIdFormat = 4, kIdClear = 5 };

  public slots:
    void reject() override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void CreateControls();
    void CreateButtons();
    SkinLabel* MakeHeading(const char* key);
    void MeasureTexts();
    void LayOut();
    void Fill();
    void ApplyDefaults();
    void ResetClock();
    void ScanDrives();
    void LoadCard();
    void ShowRecord();
    void OnSetTimeClicked(bool checked);
    void OnPickerChanged();
    QString ChosenRoot() const;
    QString ElidedRoot(const QString& root) const;  // as the drive list has room for it
    bool NeedCard();
    void StopPlaybackOn(const QString& root);
    void RunOnWorker(std::function<void()> work, std::function<void()> done);
    void Say(const QString& text);

    std::shared_ptr<CardFormatter> formatter_;
    PlaybackHooks hooks_;
    CameraSettings settings_;
    bool setTimeFlag_ = false;
    bool filled_ = false;
    int fillTimer_ = 0;
    bool busy_ = false;  // GUI thread
    QString lastMessage_;

    SkinLabel* title_ = nullptr;
    std::vector<SkinLabel*> headings_;  // SD Card, Setup, Record, Camera, Set SD Card
    QComboBox* driveList_ = nullptr;
    SkinLabel* driveLabel_ = nullptr;
    struct OptionRow {
        const CameraOption* option = nullptr;
        SkinLabel* label = nullptr;
        QComboBox* list = nullptr;
    };
    std::vector<OptionRow> rows_;  // in the order of CameraOptions()
    SkinLabel* pickerLabel_ = nullptr;
    QDateTimeEdit* picker_ = nullptr;
    SkinLabel* setTimeLabel_ = nullptr;
    QCheckBox* setTime_ = nullptr;
    std::map<int, SkinButton*> buttons_;
    std::array<int, 2> labelWidth_{};  // per column, from the longest label
    std::array<int, 2> columnX_{};
    int buttonWidth_ = 0;
    std::string formattedRoot_;  // the card this dialog formatted, listed though it is empty
    std::thread worker_;  // the running format or clear; joined before the next and at the end
};

}  // namespace velmaro
