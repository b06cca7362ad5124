// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The probe's two ways of printing a report: a readable block per file, or one tab-separated
// line per file under a header of named columns for scripts and tests.
#pragma once

#include <cstdint>
#include <cstdio>

#include "tools/probe/recording_probe.h"

namespace velmaro {

enum class ProbeFormat { kText, kTsv };

struct ProbeTotals {
    uint64_t files = 0;
    uint64_t failed = 0;
    uint64_t packets = 0;
    uint64_t garbageBytes = 0;
    uint64_t keyFrames = 0;
    uint64_t interFrames = 0;
    uint64_t audioFrames = 0;
    uint64_t telemetryTexts = 0;

    void Add(const ProbeReport& report);
};

void PrintTsvHeader(std::FILE* out);
void PrintTsvRow(std::FILE* out, const ProbeReport& report);
void PrintText(std::FILE* out, const ProbeReport& report);
void PrintSummary(std::FILE* out, const ProbeTotals& totals);

}  // namespace velmaro
