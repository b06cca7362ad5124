// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a card's usrset.dat. Whatever the bytes, the parser must give a result that
// agrees with itself, the unpacked fields must fit their widths, and packing them again must
// reproduce every bit the layout uses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "camera/camera_settings.h"

namespace {

using velmaro::CameraFileStatus;
using velmaro::CameraSettings;
using velmaro::CameraSettingsBytes;

constexpr size_t kChecksumBytes = 4;
constexpr size_t kUnitBits = 14;  // byte 14: the speed unit on top, zero below
constexpr uint8_t kUnitMask = 0xC0;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckWidths(const CameraSettings& settings) {
    for (const velmaro::CameraOption& option : velmaro::CameraOptions()) {
        Require(settings.*option.field < (1u << option.bits));
    }
    for (const velmaro::CameraClockField& field : velmaro::CameraClockFields()) {
        const unsigned base = field.name == "year" ? velmaro::kCameraFirstYear : 0;
        Require(settings.*field.field - base < (1u << field.bits));
    }
}

void CheckRepacking(const CameraSettingsBytes& bytes) {
    const CameraSettings unpacked = velmaro::UnpackCameraSettings(bytes);
    CheckWidths(unpacked);
    const uint8_t marker = bytes.back();
    const CameraSettingsBytes repacked = velmaro::PackCameraSettings(unpacked, marker);
    Require(velmaro::UnpackCameraSettings(repacked) == unpacked);
    for (size_t i = kChecksumBytes; i < bytes.size(); ++i) {
        const uint8_t used = i == kUnitBits ? kUnitMask : 0xFF;
        Require(repacked[i] == (bytes[i] & used));
    }
    const velmaro::CameraSettingsRead again = velmaro::ParseCameraSettings(repacked);
    Require((again.status == CameraFileStatus::kOk) == (marker == velmaro::kCameraMarkerAccepted));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);
    const velmaro::CameraSettingsRead read = velmaro::ParseCameraSettings(input);
    Require(read.settings.has_value() == (read.status == CameraFileStatus::kOk));
    Require(!velmaro::CameraFileStatusText(read.status, read.systemError).empty());
    if (size < velmaro::kCameraSettingsSize) {
        Require(read.status == CameraFileStatus::kTooShort);
        return 0;
    }
    CameraSettingsBytes bytes{};
    std::memcpy(bytes.data(), data, bytes.size());
    if (read.settings) {
        Require(*read.settings == velmaro::UnpackCameraSettings(bytes));
        velmaro::CameraSettingsInRange(*read.settings);
    }
    CheckRepacking(bytes);
    return 0;
}
