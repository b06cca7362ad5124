// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Shows segment displays in their styles and two month calendars with marks.
//   digi-calendar-demo [--screenshot FILE]
// With --screenshot the window is rendered to FILE (PNG) and the program ends.
#include <QApplication>
#include <QColor>
#include <QDate>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "controls/month_calendar.h"
#include "controls/segment_display.h"
#include "tools/common/command_line.h"

namespace {

using velmaro::MonthCalendar;
using velmaro::SegmentDisplay;

constexpr QRgb kWindowBackground = qRgb(40, 40, 44);
constexpr QRgb kPanelUnlit = qRgb(24, 16, 16);
constexpr QRgb kPanelLit = qRgb(0, 255, 0);
constexpr QRgb kAmber = qRgb(255, 170, 0);
constexpr QRgb kAmberUnlit = qRgb(48, 32, 0);
constexpr QRgb kRed = qRgb(255, 40, 40);
constexpr QRgb kRedUnlit = qRgb(50, 8, 8);
constexpr int kDisplayHeight = 70;
constexpr int kSpeedWidth = 160;
constexpr int kSpeedHeight = 50;
constexpr int kCalendarRow = 9;

struct DisplaySample {
    const char* caption;
    const char* text;
    unsigned addStyle;
    unsigned removeStyle;
    QRgb unlit;
    QRgb lit;
    int width;
};

// clang-format off
const DisplaySample kDisplays[] = {
    {"7-segment, plain", "12:34", 0, 0, velmaro::kDigiDefaultUnlit, velmaro::kDigiDefaultLit, 260},
    {"7-segment, smooth", "-0123456789", velmaro::kDigiSmooth, 0, velmaro::kDigiDefaultUnlit, velmaro::kDigiDefaultLit, 460},
    {"14-segment digits, plain", "12:34", velmaro::kDigiForce14Segment, 0, kAmberUnlit, kAmber, 260},
    {"14-segment digits, smooth", "-0123456789", velmaro::kDigiForce14Segment | velmaro::kDigiSmooth, 0, kAmberUnlit, kAmber, 460},
    {"letters, plain", "ABCDEFGHIJKLM", 0, 0, kRedUnlit, kRed, 520},
    {"letters, smooth", "NOPQRSTUVWXYZ", velmaro::kDigiSmooth, 0, kRedUnlit, kRed, 520},
    {"symbols (mirrored, flipped)", "(*+/\\)'", velmaro::kDigiSmooth, 0, velmaro::kDigiDefaultUnlit, velmaro::kDigiDefaultLit, 300},
    {"unlit hidden, hard edges", "88.8", velmaro::kDigiHideUnlit, velmaro::kDigiSoftEdges, velmaro::kDigiDefaultUnlit, velmaro::kDigiDefaultLit, 200},
};
// clang-format on

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("color: #d0d0d0;"));
    return label;
}

SegmentDisplay* MakeDisplay(const DisplaySample& sample, QWidget* parent) {
    auto* display = new SegmentDisplay(parent);
    display->ModifyStyleBits(sample.removeStyle, sample.addStyle);
    display->SetColor(QColor(sample.unlit), QColor(sample.lit));
    display->SetText(QString::fromLatin1(sample.text));
    display->setFixedSize(sample.width, kDisplayHeight);
    return display;
}

// The play control panel's speed read-out: shaped to its segments over the panel.
SegmentDisplay* MakeSpeedReadout(QWidget* parent) {
    auto* speed = new SegmentDisplay(parent);
    speed->SetColor(QColor(kPanelUnlit), QColor(kPanelLit));
    speed->SetText(QString::asprintf("%3.0f", 62.0));
    speed->SetRegionFlag(true);
    speed->ModifyStyleBits(0, velmaro::kDigiForce14Segment | velmaro::kDigiKeepProportions);
    speed->setFixedSize(kSpeedWidth, kSpeedHeight);
    return speed;
}

MonthCalendar* MakeCalendar(QWidget* parent, QDate date, QSize size, bool showOther) {
    auto* calendar = new MonthCalendar(parent);
    calendar->SetShowOtherMonthDays(showOther);
    calendar->SetCurrentDate(date);
    for (int day : {2, 3, 9, 17, 18, 30}) {
        calendar->AddMark(QDate(date.year(), date.month(), day));
    }
    calendar->AddMark(QDate(date.year(), date.month(), 1).addDays(-2));  // a day shown greyed
    calendar->setFixedSize(size);
    QObject::connect(calendar, &MonthCalendar::Notify, calendar, [calendar](int, int code) {
        std::printf("calendar notification %d: %s\n", code,
                    qPrintable(calendar->CurrentDate().toString(Qt::ISODate)));
        std::fflush(stdout);
    });
    return calendar;
}

std::unique_ptr<QWidget> BuildWindow() {
    auto owner = std::make_unique<QWidget>();
    QWidget* window = owner.get();
    window->setWindowTitle(QStringLiteral("Segment displays and month calendar"));
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, QColor(kWindowBackground));
    window->setPalette(palette);
    window->setAutoFillBackground(true);

    auto* grid = new QGridLayout(window);
    int row = 0;
    for (const DisplaySample& sample : kDisplays) {
        grid->addWidget(Caption(QString::fromLatin1(sample.caption), window), row, 0);
        grid->addWidget(MakeDisplay(sample, window), row, 1, Qt::AlignLeft);
        ++row;
    }
    grid->addWidget(Caption(QStringLiteral("speed read-out, shaped"), window), row, 0);
    grid->addWidget(MakeSpeedReadout(window), row, 1, Qt::AlignLeft);

    auto* calendars = new QWidget(window);
    auto* calendarRow = new QGridLayout(calendars);
    calendarRow->addWidget(MakeCalendar(calendars, QDate(2024, 9, 17), QSize(253, 129), true), 0, 0,
                           Qt::AlignTop);
    calendarRow->addWidget(MakeCalendar(calendars, QDate(2025, 1, 31), QSize(360, 220), false), 0,
                           1, Qt::AlignTop);
    grid->addWidget(Caption(QStringLiteral("month calendars"), window), kCalendarRow, 0,
                    Qt::AlignTop);
    grid->addWidget(calendars, kCalendarRow, 1, Qt::AlignLeft);
    return owner;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // takes Qt's own options (-platform ...) out of argv
    velmaro::CommandLine commandLine(
        "digi-calendar-demo", "Segment displays in their styles and month calendars with marks.");
    std::string shot;
    commandLine.Parser()
        .add_option("--screenshot", shot, "render the window to FILE (PNG) and exit")
        ->check(velmaro::NonEmpty())
        ->type_name("FILE");
    if (const std::optional<int> status = commandLine.Parse(argc, argv)) {
        return *status;
    }
    const QString shotFile = QString::fromStdString(shot);

    const std::unique_ptr<QWidget> window = BuildWindow();
    window->show();
    if (shotFile.isEmpty()) {
        return QApplication::exec();
    }
    int rc = 0;
    QTimer::singleShot(0, window.get(), [&] {
        if (!window->grab().save(shotFile)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(shotFile));
            rc = 1;
        }
        QApplication::quit();
    });
    QApplication::exec();
    return rc;
}
