// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/preferences_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <array>

#include "app/language_table.h"
#include "app/preferences.h"
#include "ui/main/free_screen.h"
#include "ui/panel/play_panel.h"

namespace velmaro {
namespace {

// The folder chooser's title has always read so; it is not translated.
constexpr char kChooserTitle[] = "Selete a folder...";
constexpr char kMessageCaption[] = "Velmaro";

constexpr std::array<const char*, kUiModeChoices> kUiModeEntries = {"960*600", "1280*800",
                                                                    "1920*1080"};
constexpr std::array<const char*, kDisplayModeChoices> kDisplayModeEntries = {"YV12", "RGB"};
constexpr std::array<const char*, kSpeedUnitChoices> kSpeedUnitEntries = {"Km/h", "Mile/h", "Knot"};
constexpr int kPercentPerFactor = 100;
constexpr int kEditMinimumWidth = 260;
constexpr int kButtonRowGap = 8;

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <size_t N>
void Fill(QComboBox* list, const std::array<const char*, N>& entries) {
    list->clear();
    for (const char* entry : entries) {
        list->addItem(QString::fromLatin1(entry));
    }
}

}  // namespace

PreferencesDialog::PreferencesDialog(AppSettings& settings, const LanguageTable& languages,
                                     const std::string& versionText, QWidget* parent)
    : QDialog(parent), settings_(settings), languages_(languages) {
    screenSize = FreeScreenArea;
    chooseFolder = [this](const QString& current) {
        const QString start = QFileInfo(current).isDir() ? current : QDir::homePath();
        return QFileDialog::getExistingDirectory(this, QString::fromLatin1(kChooserTitle), start,
                                                 QFileDialog::ShowDirsOnly);
    };
    showMessage = [this](const QString& text) {
        QMessageBox box(QMessageBox::Information, QString::fromLatin1(kMessageCaption), text,
                        QMessageBox::Ok, this);
        box.exec();
    };
    CreateControls();
    version_->setText(QString::fromStdString(versionText));
    snapshotEdit_->setText(QString::fromStdString(settings_.snapshotPath));
    FillLists();
}

QString PreferencesDialog::Text(std::string_view key) const {
    return QString::fromStdString(languages_.Lookup(settings_.activeLanguage, key));
}

void PreferencesDialog::CreateControls() {
    setWindowTitle(Text("Config"));
    const auto label = [this](const char* key, int id) {
        auto* text = new QLabel(Text(key), this);
        text->setObjectName(QString::number(id));
        return text;
    };
    const auto list = [this](int id) {
        auto* box = new QComboBox(this);
        box->setObjectName(QString::number(id));
        return box;
    };
    version_ = new QLabel(this);
    version_->setObjectName(QString::number(kIdVersion));
    version_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    snapshotEdit_ = new QLineEdit(this);
    snapshotEdit_->setObjectName(QString::number(kIdSnapshotPath));
    snapshotEdit_->setMinimumWidth(kEditMinimumWidth);
    browse_ = new QPushButton(Text("Browse"), this);
    browse_->setObjectName(QString::number(kIdBrowse));
    browse_->setAutoDefault(false);
    language_ = list(kIdLanguage);
    uiMode_ = list(kIdUiMode);
    displayMode_ = list(kIdDisplayMode);
    unitOfSpeed_ = list(kIdUnitOfSpeed);
    amplification_ = list(kIdAmplification);

    auto* grid = new QGridLayout;
    grid->addWidget(label("Version", kIdVersionLabel), 0, 0);
    grid->addWidget(version_, 0, 1, 1, 2);
    grid->addWidget(label("Snapshot Path", kIdSnapshotLabel), 1, 0);
    grid->addWidget(snapshotEdit_, 1, 1);
    grid->addWidget(browse_, 1, 2);
    grid->addWidget(label("Language", kIdLanguageLabel), 2, 0);
    grid->addWidget(language_, 2, 1, 1, 2);
    grid->addWidget(label("UIMode", kIdUiModeLabel), 3, 0);
    grid->addWidget(uiMode_, 3, 1, 1, 2);
    grid->addWidget(label("Display Mode", kIdDisplayModeLabel), 4, 0);
    grid->addWidget(displayMode_, 4, 1, 1, 2);
    grid->addWidget(label("Unit Of Speed", kIdUnitOfSpeedLabel), 5, 0);
    grid->addWidget(unitOfSpeed_, 5, 1, 1, 2);
    grid->addWidget(label("Sound Amplification", kIdAmplificationLabel), 6, 0);
    grid->addWidget(amplification_, 6, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    ok_ = new QPushButton(Text("OK"), this);
    ok_->setObjectName(QString::number(kIdOk));
    ok_->setDefault(true);
    cancel_ = new QPushButton(Text("Cancel"), this);
    cancel_->setObjectName(QString::number(kIdCancel));
    cancel_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addSpacing(kButtonRowGap);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
    connect(ok_, &QPushButton::clicked, this, &PreferencesDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &PreferencesDialog::reject);
    // A choice of the user's only: filling and correcting the list must not check again.
    connect(uiMode_, &QComboBox::activated, this, [this](int choice) { OnUiModeChosen(choice); });
}

void PreferencesDialog::FillLists() {
    language_->clear();
    for (size_t row = 0; row < languages_.size(); ++row) {
        const LanguageEntry& entry = languages_[row];
        if (entry.present == 1) {
            language_->addItem(Utf8(entry.displayName), static_cast<int>(row));
        }
    }
    language_->setCurrentIndex(language_->findData(settings_.pendingLanguage));
    Fill(uiMode_, kUiModeEntries);
    uiMode_->setCurrentIndex(UiModeSelection(settings_));
    Fill(displayMode_, kDisplayModeEntries);
    displayMode_->setCurrentIndex(ChoiceSelection(settings_.displayMode, kDisplayModeChoices));
    Fill(unitOfSpeed_, kSpeedUnitEntries);
    unitOfSpeed_->setCurrentIndex(ChoiceSelection(settings_.unitOfSpeed, kSpeedUnitChoices));
    amplification_->clear();
    for (int i = 0; i < kAmplificationChoices; ++i) {
        amplification_->addItem(
            QStringLiteral("%1 %").arg(AmplificationFactor(i) * kPercentPerFactor));
    }
    amplification_->setCurrentIndex(AmplificationSelection(settings_.soundAmplification));
}

QComboBox* PreferencesDialog::List(int id) const {
    switch (id) {
        case kIdLanguage:
            return language_;
        case kIdUiMode:
            return uiMode_;
        case kIdDisplayMode:
            return displayMode_;
        case kIdUnitOfSpeed:
            return unitOfSpeed_;
        case kIdAmplification:
            return amplification_;
        default:
            return nullptr;
    }
}

QPushButton* PreferencesDialog::Button(int id) const {
    switch (id) {
        case kIdBrowse:
            return browse_;
        case kIdOk:
            return ok_;
        case kIdCancel:
            return cancel_;
        default:
            return nullptr;
    }
}

void PreferencesDialog::Browse() {
    QString folder = chooseFolder ? chooseFolder(snapshotEdit_->text()) : QString();
    if (folder.isEmpty()) {
        return;
    }
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) {
        folder.chop(1);
    }
    snapshotEdit_->setText(folder);
}

void PreferencesDialog::OnUiModeChosen(int choice) {
    const UiModeCheck check = CheckUiModeChoice(choice, screenSize ? screenSize() : ScreenSize{});
    if (!check.message.empty() && showMessage) {
        showMessage(Text(check.message));
    }
    uiMode_->setCurrentIndex(check.selection);
}

void PreferencesDialog::accept() {
    PreferenceChoices choices;
    const std::string typed = snapshotEdit_->text().toStdString();
    choices.snapshotFolder = SnapshotFolderFromText(typed, QDir::homePath().toStdString());
    // A folder relative to nothing in particular would be dropped for the old one unsaid: the
    // dialog stays open with the reason instead.
    if (choices.snapshotFolder.empty() && !snapshotEdit_->text().trimmed().isEmpty()) {
        if (showMessage) {
            showMessage(Text(kRelativeFolderNotice));
        }
        snapshotEdit_->setFocus();
        return;
    }
    choices.uiMode = uiMode_->currentIndex();
    choices.displayMode = displayMode_->currentIndex();
    choices.unitOfSpeed = unitOfSpeed_->currentIndex();
    choices.amplification = amplification_->currentIndex();
    choices.language = language_->currentIndex() >= 0 ? language_->currentData().toInt() : -1;
    // An unwritable Config.ini is reported once, when the player exits and tries again.
    const PreferencesOutcome outcome = ApplyPreferences(settings_, choices);
    if (outcome.restartNeeded && showMessage) {
        showMessage(Text(kRestartNotice));
    }
    if (applied) {
        applied();
    }
    QDialog::accept();
}

void RunPreferences(PlayPanel& panel, const std::string& versionText) {
    PreferencesDialog dialog(Settings(), Languages(), versionText, panel.window());
    dialog.applied = [&panel] {
        panel.ApplyTooltips();
        panel.ApplySpeedUnit();
        panel.ApplySoundAmplification();
    };
    dialog.exec();
}

}  // namespace velmaro
