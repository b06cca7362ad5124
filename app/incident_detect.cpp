// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/incident_detect.h"

#include <cmath>

namespace velmaro {
namespace {

// Time stamps of the same text stream jitter by a few milliseconds.
constexpr double kStampJitterSeconds = 0.05;

// The largest jump of sample i from the samples of the second before it.
double JumpAt(const std::vector<GSample>& samples, size_t i) {
    double largest = 0.0;
    for (size_t j = i; j-- > 0;) {
        const double apart = samples[i].seconds - samples[j].seconds;
        if (apart <= 0.0 || apart > kIncidentWindowSeconds + kStampJitterSeconds) {
            break;
        }
        largest = std::fmax(largest, GDelta(samples[i].g, samples[j].g));
    }
    return largest;
}

}  // namespace

double GDelta(const GSensorRecord& a, const GSensorRecord& b) {
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    const double dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

std::vector<Incident> FindIncidents(const std::vector<GSample>& samples, double threshold) {
    std::vector<Incident> incidents;
    double lastJump = 0.0;
    bool inEvent = false;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double jump = JumpAt(samples, i);
        if (!(jump > threshold)) {
            continue;
        }
        const double at = samples[i].seconds;
        if (inEvent && at > lastJump &&
            at - lastJump <= kIncidentWindowSeconds + kStampJitterSeconds) {
            incidents.back().deltaG = std::fmax(incidents.back().deltaG, jump);
        } else {
            incidents.push_back({at, jump, samples[i].filePos});
        }
        inEvent = true;
        lastJump = at;
    }
    return incidents;
}

double UsableIncidentThreshold(double configured) {
    return std::isfinite(configured) && configured > 0.0 ? configured : kDefaultIncidentThreshold;
}

}  // namespace velmaro
