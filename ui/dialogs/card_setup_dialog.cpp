// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/card_setup_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimerEvent>
#include <algorithm>
#include <array>
#include <ctime>

#include "app/language_table.h"
#include "controls/skin_button.h"
#include "controls/skin_label.h"
#include "platform/card_clear.h"
#include "platform/card_drive.h"
#include "platform/card_formatter.h"
#include "platform/drives.h"

namespace velmaro {
namespace {

constexpr int kDialogHeight = 560;
constexpr int kMargin = 20;
constexpr int kColumnGap = 30;
constexpr int kMinLabelWidth = 150;
constexpr int kLabelPadding = 10;
constexpr int kButtonPadding = 24;
constexpr int kListWidth = 160;
constexpr int kRowHeight = 30;
constexpr int kControlHeight = 24;
constexpr int kHeadingHeight = 30;
constexpr int kTitleHeight = 34;
constexpr int kButtonWidth = 112;
constexpr int kButtonHeight = 30;
constexpr int kButtonGap = 16;
constexpr int kHeadingFontSize = 20;
constexpr int kTitleFontSize = 12;
constexpr int kLabelFontSize = 9;
constexpr int kFrameSkinSize = 120;
constexpr int kFrameRadius = 8;
const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kLabelColour(0xD8, 0xDE, 0xE6);
const QColor kBody(30, 35, 43);
const QColor kTitleBand(45, 52, 63);
const QColor kBorder(104, 118, 138);
const QDate kFirstCameraDate(static_cast<int>(kCameraFirstYear), 1, 1);
const QDate kLastCameraDate(static_cast<int>(kCameraLastYear), 12, 31);

// Where each list sits: column 0 (left) or 1 (right), and the row below its heading.
struct ListPlace {
    std::string_view name;
    int column;
    int section;  // 1 Setup, 2 Record, 3 Camera
    int row;
};
constexpr std::array<ListPlace, 16> kPlacements = {{
    {"language", 0, 1, 0},
    {"timeZone", 0, 1, 1},
    {"tvStandard", 0, 1, 2},
    {"frequency", 0, 1, 3},
    {"speedUnit", 0, 1, 4},
    {"recResolution", 1, 2, 0},
    {"recQuality", 1, 2, 1},
    {"recGSensorSensitivity", 1, 2, 2},
    {"mic", 1, 2, 3},
    {"whiteBalance", 1, 2, 4},
    {"effect", 1, 2, 5},
    {"sensorSensitivity", 1, 2, 6},
    {"capResolution", 1, 3, 0},
    {"capMode", 1, 3, 1},
    {"capPeriod", 1, 3, 2},
    {"capGSensorSensitivity", 1, 3, 3},
}};
constexpr int kPickerRow = 5;   // in the Setup section
constexpr int kSetTimeRow = 6;  // in the Setup section

// Top of each heading: SD Card, Setup, Record, Camera, Set SD Card.
constexpr std::array<int, 5> kHeadingTop = {44, 116, 44, 296, 460};
constexpr std::array<int, 5> kHeadingColumn = {0, 0, 1, 1, 0};
constexpr std::array<const char*, 5> kHeadingKeys = {"SD Card", "Setup", "Record", "Camera",
                                                     "Set SD Card"};
constexpr int kSdCardSection = 0;
constexpr size_t kButtonSection = 4;
constexpr int kButtonCount = 5;

QString Tr(std::string_view key) {
    return QString::fromStdString(GetLanguageString(key));
}

// "CARD (sdb1, 32 GB)": the label the user gave the card, with what tells two cards apart.
QString DriveText(const CardDrive& drive) {
    QStringList details;
    if (!drive.device.empty()) {
        details << QString::fromStdString(drive.device);
    }
    if (drive.capacity > 0) {
        details << QLocale().formattedDataSize(static_cast<qint64>(drive.capacity), 1,
                                               QLocale::DataSizeSIFormat);
    }
    const QString label = QString::fromStdString(drive.label);
    return details.isEmpty()
               ? label
               : QStringLiteral("%1 (%2)").arg(label, details.join(QStringLiteral(", ")));
}

// The question before an erase names the card and what will be lost with it, so that a drive
// chosen by mistake is noticed before it is too late.
QString EraseQuestion(std::string_view key, const std::string& root) {
    const ContentTally tally = TallyContents(root);
    const QLocale locale;
    return Tr(key).arg(
        locale.toString(static_cast<qulonglong>(tally.files)),
        locale.formattedDataSize(static_cast<qint64>(tally.bytes), 1, QLocale::DataSizeSIFormat),
        DriveText(DescribeDrive(root)));
}

QRect RowRect(int section, int row, int x, int width) {
    const int top = kHeadingTop[section] + kHeadingHeight + 2 + row * kRowHeight;
    return QRect(x, top + (kRowHeight - kControlHeight) / 2, width, kControlHeight);
}

// The dialog frame: a title band over a dark body inside a thin rounded border. The skinned
// dialog stretches its edges, so a small bitmap serves every size.
QPixmap FrameSkin() {
    QPixmap skin(kFrameSkinSize, kFrameSkinSize);
    skin.fill(Qt::transparent);
    QPainter p(&skin);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0.5, 0.5, kFrameSkinSize - 1, kFrameSkinSize - 1), kFrameRadius,
                           kFrameRadius);
    p.fillPath(outline, kBody);
    p.setClipPath(outline);
    p.fillRect(QRect(0, 0, kFrameSkinSize, kTitleHeight), kTitleBand);
    p.setClipping(false);
    p.setPen(QPen(kBorder, 1));
    p.drawPath(outline);
    return skin;
}

// A strip of the four button frames (normal, hover, pressed, disabled) in the player's colours.
QPixmap ButtonStrip(QSize frame) {
    struct Look {
        QColor border, top, bottom;
    };
    const std::array<Look, SkinButton::kFrameCount> looks = {{
        {QColor(86, 98, 116), QColor(52, 60, 73), QColor(40, 46, 56)},
        {QColor(104, 118, 138), QColor(64, 74, 90), QColor(50, 58, 70)},
        {QColor(255, 166, 43), QColor(40, 46, 56), QColor(52, 60, 73)},
        {QColor(60, 66, 76), QColor(38, 42, 50), QColor(34, 38, 45)},
    }};
    QPixmap strip(frame.width() * SkinButton::kFrameCount, frame.height());
    strip.fill(kBody);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < SkinButton::kFrameCount; ++i) {
        const QRectF r(i * frame.width() + 0.5, 0.5, frame.width() - 1, frame.height() - 1);
        QLinearGradient fill(r.topLeft(), r.bottomLeft());
        fill.setColorAt(0, looks[i].top);
        fill.setColorAt(1, looks[i].bottom);
        p.setPen(QPen(looks[i].border, 1));
        p.setBrush(fill);
        p.drawRoundedRect(r, 4, 4);
    }
    return strip;
}

constexpr char kStyle[] = R"(
QComboBox, QDateTimeEdit {
    color: #e8ecf1; background: #262c35; border: 1px solid #56627a; border-radius: 3px;
    padding: 1px 6px;
}
QComboBox:disabled, QDateTimeEdit:disabled { color: #7a8695; border-color: #3c424c; }
QComboBox QAbstractItemView {
    color: #e8ecf1; background: #262c35; selection-background-color: #ffa62b;
    selection-color: #15181d;
}
QCheckBox { color: #e8ecf1; }
)";

}  // namespace

CardSetupDialog::CardSetupDialog(QWidget* parent, std::shared_ptr<CardFormatter> formatter,
                                 PlaybackHooks hooks)
    : SkinDialog(parent, Placement::kWindow),
      formatter_(std::move(formatter)),
      hooks_(std::move(hooks)) {
    listDrives = [] { return DriveRoots(); };
    setWindowTitle(Tr("SD Card Setup"));
    setModal(true);
    setStyleSheet(QString::fromLatin1(kStyle));
    confirm = [this](const QString& question) {
        QMessageBox box(QMessageBox::Warning, Tr("Tip"), question,
                        QMessageBox::Yes | QMessageBox::No, this);
        return box.exec() == QMessageBox::Yes;
    };
    SetSkin(FrameSkin());
    CreateControls();
    CreateButtons();
    MeasureTexts();
    LayOut();
    // The lists are filled a second after opening, as the camera tools have always done: the
    // window is on screen at once, and a card that was just inserted has time to be mounted.
    fillTimer_ = startTimer(kFillDelayMs);
}

CardSetupDialog::~CardSetupDialog() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

// --- Building ----------------------------------------------------------------------------

SkinLabel* CardSetupDialog::MakeHeading(const char* key) {
    auto* heading = new SkinLabel(this, Tr(key));
    heading->SetFontName(QStringLiteral("Arial"))
        .SetFontSize(kHeadingFontSize)
        .SetFontBold(true)
        .SetTextColor(kWhite)
        .SetTransparent(true);
    return heading;
}

void CardSetupDialog::CreateControls() {
    const auto makeLabel = [this](std::string_view key) {
        auto* label = new SkinLabel(this, Tr(key));
        label->SetFontSize(kLabelFontSize).SetTextColor(kLabelColour).SetTransparent(true);
        return label;
    };
    title_ = MakeHeading("SD Card Setup");
    title_->SetFontSize(kTitleFontSize);
    for (const char* key : kHeadingKeys) {
        headings_.push_back(MakeHeading(key));
    }
    driveLabel_ = makeLabel("SD Card:");
    driveList_ = new QComboBox(this);
    driveList_->setPlaceholderText(Tr(kChooseCard));
    connect(driveList_, &QComboBox::currentIndexChanged, this, [this] {
        driveList_->setToolTip(ChosenRoot());
        LoadCard();
    });
    for (const CameraOption& option : CameraOptions()) {
        // Empty until the fill timer.
        OptionRow row{&option, makeLabel(option.label), new QComboBox(this)};
        connect(row.list, &QComboBox::currentIndexChanged, this, [this, &option](int index) {
            if (index >= 0) {
                settings_.*option.field = static_cast<unsigned>(index);
            }
        });
        rows_.push_back(row);
    }
    pickerLabel_ = makeLabel("Data_Time:");
    picker_ = new QDateTimeEdit(this);
    picker_->setDisplayFormat(QString::fromLatin1(kPickerFormat));
    picker_->setDateRange(kFirstCameraDate, kLastCameraDate);
    picker_->setEnabled(false);
    connect(picker_, &QDateTimeEdit::dateTimeChanged, this, [this] { OnPickerChanged(); });
    setTimeLabel_ = makeLabel("Set_Time:");
    setTime_ = new QCheckBox(Tr("Set_Time"), this);
    connect(setTime_, &QCheckBox::clicked, this,
            [this](bool checked) { OnSetTimeClicked(checked); });
}

void CardSetupDialog::CreateButtons() {
    const std::array<std::pair<int, const char*>, 5> specs = {{{kIdSet, "Set"},
                                                               {kIdDefault, "Default"},
                                                               {kIdFormat, "Format"},
                                                               {kIdClear, "Clear"},
                                                               {kIdCancel, "Cancel"}}};
    for (const auto& [id, key] : specs) {
        auto* button = new SkinButton(this);
        button->SetTextColor(kWhite);
        button->setText(Tr(key));
        buttons_[id] = button;
    }
    connect(buttons_[kIdSet], &QAbstractButton::clicked, this, [this] { Set(); });
    connect(buttons_[kIdDefault], &QAbstractButton::clicked, this, [this] { Default(); });
    connect(buttons_[kIdFormat], &QAbstractButton::clicked, this, [this] { Format(); });
    connect(buttons_[kIdClear], &QAbstractButton::clicked, this, [this] { Clear(); });
    connect(buttons_[kIdCancel], &QAbstractButton::clicked, this, [this] { reject(); });
}

// Translations run longer than the English texts: the label columns and the buttons take the
// width of their longest text, and the dialog grows to hold them.
void CardSetupDialog::MeasureTexts() {
    const auto textWidth = [](const SkinLabel* label) {
        return QFontMetrics(label->Font()).horizontalAdvance(label->Text()) + kLabelPadding;
    };
    labelWidth_ = {kMinLabelWidth, kMinLabelWidth};
    const auto widen = [&](int column, int width) {
        labelWidth_[column] = std::max(labelWidth_[column], width);
    };
    widen(0, textWidth(driveLabel_));
    widen(0, textWidth(pickerLabel_));
    widen(0, textWidth(setTimeLabel_));
    for (const OptionRow& row : rows_) {
        for (const ListPlace& p : kPlacements) {
            if (p.name == row.option->name) {
                widen(p.column, textWidth(row.label));
            }
        }
    }
    buttonWidth_ = kButtonWidth;
    for (const auto& [id, button] : buttons_) {
        buttonWidth_ = std::max(
            buttonWidth_, button->fontMetrics().horizontalAdvance(button->text()) + kButtonPadding);
    }
    columnX_ = {kMargin, kMargin + labelWidth_[0] + kListWidth + kColumnGap};
    const int columnsWidth = columnX_[1] + labelWidth_[1] + kListWidth + kMargin;
    const int buttonsWidth =
        2 * kMargin + kButtonCount * buttonWidth_ + (kButtonCount - 1) * kButtonGap;
    setFixedSize(std::max(columnsWidth, buttonsWidth), kDialogHeight);
    const QPixmap strip = ButtonStrip(QSize(buttonWidth_, kButtonHeight));
    for (const auto& [id, button] : buttons_) {
        button->SetSkin(strip);
    }
}

void CardSetupDialog::resizeEvent(QResizeEvent* event) {
    SkinDialog::resizeEvent(event);
    LayOut();
}

void CardSetupDialog::LayOut() {
    if (title_ == nullptr) {
        return;
    }
    title_->setGeometry(kMargin, 0, width() - 2 * kMargin, kTitleHeight);
    for (size_t i = 0; i < headings_.size(); ++i) {
        const int column = kHeadingColumn[i];
        const int widthLeft =
            i == kButtonSection ? width() - 2 * kMargin : labelWidth_[column] + kListWidth;
        headings_[i]->setGeometry(columnX_[column], kHeadingTop[i], widthLeft, kHeadingHeight);
    }
    const auto place = [this](QWidget* label, QWidget* control, int column, int section, int row) {
        const int x = columnX_[column];
        label->setGeometry(RowRect(section, row, x, labelWidth_[column]));
        control->setGeometry(RowRect(section, row, x + labelWidth_[column], kListWidth));
    };
    place(driveLabel_, driveList_, 0, kSdCardSection, 0);
    for (const OptionRow& row : rows_) {
        for (const ListPlace& p : kPlacements) {
            if (p.name == row.option->name) {
                place(row.label, row.list, p.column, p.section, p.row);
            }
        }
    }
    place(pickerLabel_, picker_, 0, 1, kPickerRow);
    place(setTimeLabel_, setTime_, 0, 1, kSetTimeRow);
    const int buttonsTop = kHeadingTop[kButtonSection] + kHeadingHeight + 6;
    // The row of buttons spans the dialog, whatever the columns made of its width.
    const int gap = std::max(
        kButtonGap, (width() - 2 * kMargin - kButtonCount * buttonWidth_) / (kButtonCount - 1));
    int x = kMargin;
    for (int id : {kIdSet, kIdDefault, kIdFormat, kIdClear, kIdCancel}) {
        buttons_[id]->setGeometry(x, buttonsTop, buttonWidth_, kButtonHeight);
        x += buttonWidth_ + gap;
    }
}

// --- Filling and loading -----------------------------------------------------------------

void CardSetupDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() != fillTimer_) {
        SkinDialog::timerEvent(event);
        return;
    }
    killTimer(fillTimer_);
    fillTimer_ = 0;
    Fill();
}

void CardSetupDialog::Fill() {
    for (OptionRow& row : rows_) {
        const QSignalBlocker quiet(row.list);
        for (std::string_view text : row.option->texts) {
            row.list->addItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        }
    }
    ApplyDefaults();
    setTime_->setChecked(false);
    OnSetTimeClicked(false);
    ResetClock();
    filled_ = true;
    ScanDrives();
    if (driveList_->count() == 0) {
        Say(Tr("Record SD Card Not Find"));
        return;
    }
    LoadCard();
}

void CardSetupDialog::ApplyDefaults() {
    for (OptionRow& row : rows_) {
        settings_.*row.option->field = row.option->defaultIndex;
    }
    ShowRecord();
}

void CardSetupDialog::ResetClock() {
    // The picker's change notice carries the time into the record.
    picker_->setDateTime(QDateTime::currentDateTime());
    OnPickerChanged();
}

// Only camera cards are offered: a stick of photos or a boot partition on a removable disk must
// never be one click away from Clear. The card being played is the one meant; a single card is
// meant too; among several the user chooses.
void CardSetupDialog::ScanDrives() {
    const QSignalBlocker quiet(driveList_);
    driveList_->clear();
    const std::vector<std::string> listed = listDrives ? listDrives() : std::vector<std::string>();
    std::vector<std::string> cards = CameraCardRoots(listed);
    // A card just formatted holds nothing a card is known by, and is still the card.
    if (!formattedRoot_.empty() &&
        std::find(listed.begin(), listed.end(), formattedRoot_) != listed.end() &&
        std::find(cards.begin(), cards.end(), formattedRoot_) == cards.end()) {
        cards.push_back(formattedRoot_);
    }
    const std::string playing = hooks_.playingFile ? hooks_.playingFile() : std::string();
    int chosen = cards.size() == 1 ? 0 : -1;
    for (size_t i = 0; i < cards.size(); ++i) {
        // A mount path is often longer than the list is wide, and both its ends tell cards
        // apart: it is shortened in the middle and shown whole as the tooltip.
        const QString root = QString::fromStdString(cards[i]);
        driveList_->addItem(ElidedRoot(root), root);
        driveList_->setItemData(driveList_->count() - 1, root, Qt::ToolTipRole);
        if (!playing.empty() && IsPathBelow(playing, cards[i])) {
            chosen = static_cast<int>(i);
        }
    }
    driveList_->setCurrentIndex(chosen);
    driveList_->setToolTip(ChosenRoot());
}

QString CardSetupDialog::ElidedRoot(const QString& root) const {
    QStyleOptionComboBox option;
    option.initFrom(driveList_);
    option.rect = QRect(0, 0, kListWidth, kControlHeight);
    const int room =
        driveList_->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, driveList_)
            .width();
    return driveList_->fontMetrics().elidedText(root, Qt::ElideMiddle, room);
}

void CardSetupDialog::LoadCard() {
    const QString root = ChosenRoot();
    if (root.isEmpty()) {
        return;
    }
    const CameraSettingsRead read = ReadCameraSettings(root.toStdString());
    if (!read.settings) {
        return;  // a file the camera has not taken over, or none: what is shown stays
    }
    settings_ = *read.settings;
    ShowRecord();
    const QDateTime stored(
        QDate(static_cast<int>(settings_.year), static_cast<int>(settings_.month),
              static_cast<int>(settings_.day)),
        QTime(static_cast<int>(settings_.hour), static_cast<int>(settings_.minute)));
    if (stored.isValid()) {
        picker_->setDateTime(stored);
    }
}

// Every list shows its field; an index outside the list leaves it without a selection.
void CardSetupDialog::ShowRecord() {
    for (OptionRow& row : rows_) {
        const QSignalBlocker quiet(row.list);
        const unsigned index = settings_.*row.option->field;
        row.list->setCurrentIndex(
            index < static_cast<unsigned>(row.list->count()) ? static_cast<int>(index) : -1);
    }
}

void CardSetupDialog::OnSetTimeClicked(bool checked) {
    setTimeFlag_ = checked;
    picker_->setEnabled(checked);
    if (checked) {
        picker_->setDateTime(QDateTime::currentDateTime());
    }
}

void CardSetupDialog::OnPickerChanged() {
    const QDateTime shown = picker_->dateTime();
    std::tm local{};
    local.tm_year = shown.date().year() - 1900;
    local.tm_mon = shown.date().month() - 1;
    local.tm_mday = shown.date().day();
    local.tm_hour = shown.time().hour();
    local.tm_min = shown.time().minute();
    SetCameraClock(settings_, local);
}

// --- Buttons -----------------------------------------------------------------------------

QString CardSetupDialog::ChosenRoot() const {
    return driveList_->currentData().toString();
}

bool CardSetupDialog::NeedCard() {
    if (driveList_->count() > 0 && !ChosenRoot().isEmpty()) {
        return true;
    }
    Say(Tr(driveList_->count() > 0 ? kChooseCard : "Record SD Card Not Find"));
    return false;
}

void CardSetupDialog::Set() {
    if (!NeedCard()) {
        return;
    }
    // A card formatted or pulled out since the list was filled may leave its empty mount folder
    // behind; the settings would then land on the disk under it instead of on the card.
    const std::vector<std::string> listed = listDrives ? listDrives() : std::vector<std::string>();
    if (CheckClearTarget(ChosenRoot().toStdString(), listed) == ClearRefusal::kNotListedRoot) {
        Say(Tr("Record SD Card Not Find"));
        return;
    }
    const CameraSettingsWrite written = WriteCameraSettings(ChosenRoot().toStdString(), settings_);
    if (!written.ok()) {
        Say(Tr("Save Error") + QStringLiteral("\n") +
            QString::fromStdString(CameraFileStatusText(written.status, written.systemError)));
        return;
    }
    Say(Tr("Save Success"));
    accept();
}

void CardSetupDialog::Default() {
    if (!confirm(Tr("Are you sure to default the settings?"))) {
        return;
    }
    ApplyDefaults();
    setTime_->setChecked(false);
    OnSetTimeClicked(false);
    ResetClock();
}

void CardSetupDialog::StopPlaybackOn(const QString& root) {
    if (hooks_.playingFile && hooks_.stopPlayback &&
        IsPathBelow(hooks_.playingFile(), root.toStdString())) {
        hooks_.stopPlayback();
    }
}

void CardSetupDialog::Format() {
    if (busy_ || !NeedCard()) {
        return;
    }
    const QString root = ChosenRoot();
    if (!confirm(EraseQuestion(kFormatQuestion, root.toStdString()))) {
        return;
    }
    // A root Clear would refuse (a link elsewhere, the home, a system folder) is no card to
    // format either, whatever device is mounted under it.
    const std::vector<std::string> listed = listDrives ? listDrives() : std::vector<std::string>();
    const ClearRefusal refusal = CheckClearTarget(root.toStdString(), listed);
    if (refusal != ClearRefusal::kNone || !formatter_) {
        const std::string reason = refusal == ClearRefusal::kNotListedRoot || !formatter_
                                       ? FormatStatusText(FormatStatus::kNotRemovable)
                                       : ClearRefusalText(refusal);
        Say(Tr("Format Fail") + QStringLiteral("\n") + Tr(reason));
        return;
    }
    StopPlaybackOn(root);
    auto outcome = std::make_shared<FormatOutcome>();
    RunOnWorker([formatter = formatter_, root = root.toStdString(),
                 outcome] { *outcome = formatter->Format(root); },
                [this, outcome, root = root.toStdString()] {
                    const QString state = outcome->leftUnmounted
                                              ? QStringLiteral("\n") + Tr(kLeftUnmountedText)
                                              : QString();
                    if (outcome->ok()) {
                        formattedRoot_ = outcome->mountedAt.empty() ? root : outcome->mountedAt;
                        // The card may come back at another folder, or not at all.
                        ScanDrives();
                        LoadCard();
                        Say(Tr(FormatStatusText(FormatStatus::kOk)) + state);
                        return;
                    }
                    // An unforeseen failure is told in the service's own words.
                    const QString reason = outcome->status == FormatStatus::kFailed
                                               ? QString::fromStdString(outcome->detail)
                                               : Tr(FormatStatusText(outcome->status));
                    ScanDrives();
                    Say(Tr("Format Fail") + QStringLiteral("\n") + reason + state);
                });
}

void CardSetupDialog::Clear() {
    if (busy_ || !NeedCard()) {
        return;
    }
    const QString root = ChosenRoot();
    if (!confirm(EraseQuestion(kClearQuestion, root.toStdString()))) {
        return;
    }
    const ClearRefusal refusal = CheckClearTarget(
        root.toStdString(), listDrives ? listDrives() : std::vector<std::string>());
    if (refusal != ClearRefusal::kNone) {
        Say(Tr("Clear Fail") + QStringLiteral("\n") + Tr(ClearRefusalText(refusal)));
        return;
    }
    StopPlaybackOn(root);
    auto result = std::make_shared<ClearResult>();
    RunOnWorker([root = root.toStdString(), result] { *result = ClearFolderContents(root); },
                [this, result] {
                    if (result->ok()) {
                        Say(Tr("Clear Success"));
                        return;
                    }
                    Say(Tr("Clear Fail") + QStringLiteral("\n") + Tr("Entries left on the card:") +
                        QStringLiteral(" %1").arg(result->left));
                });
}

void CardSetupDialog::RunOnWorker(std::function<void()> work, std::function<void()> done) {
    if (worker_.joinable()) {
        worker_.join();
    }
    busy_ = true;
    for (auto& [id, button] : buttons_) {
        button->setEnabled(false);
    }
    worker_ = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
        work();
        // Queued to this dialog: the destructor joins this thread first, and the queued call
        // dies with the dialog if it never ran.
        QMetaObject::invokeMethod(
            this,
            [this, done = std::move(done)] {
                busy_ = false;
                for (auto& [id, button] : buttons_) {
                    button->setEnabled(true);
                }
                done();
            },
            Qt::QueuedConnection);
    });
}

void CardSetupDialog::reject() {
    if (busy_) {
        return;  // a format or clear is still running on the card
    }
    SkinDialog::reject();
}

void CardSetupDialog::Say(const QString& text) {
    lastMessage_ = text;
    if (showMessage) {
        showMessage(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Velmaro"), text, QMessageBox::Ok,
                    this);
    box.exec();
}

QComboBox* CardSetupDialog::OptionList(std::string_view name) const {
    for (const OptionRow& row : rows_) {
        if (row.option->name == name) {
            return row.list;
        }
    }
    return nullptr;
}

SkinButton* CardSetupDialog::Button(int id) const {
    const auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

}  // namespace velmaro
