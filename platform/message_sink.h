// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Messages from worker threads to the user interface. The numeric codes are the ones every
// receiver dispatches on; the UI delivers them as queued events on the GUI thread.
#pragma once

#include <cstdint>
#include <stop_token>

namespace velmaro {

enum MessageCode : uint32_t {
    kMsgPosition = 1130,   // reader -> panel: position in per-mille (wParam)
    kMsgTelemetry = 1131,  // reader -> main window: telemetry text ready; finder: scan begins
    kMsgReset = 1132,      // reader -> main window: reading state reset; finder/channel: list ready
    kMsgRadioUncheck = 1280,  // skinned radio button -> its group
    kMsgThumbPressed = 3072,  // slider thumb -> parent
    kMsgThumbReleased = 3073,
    kMsgThumbMoved = 3074,
    kMsgBitmapSliderMoving = 10449,
    kMsgBitmapSliderReleased = 10450,
};

class MessageSink {
  public:
    virtual ~MessageSink() = default;

    // Queues the message and returns at once.
    virtual void Post(uint32_t msg, intptr_t wParam, intptr_t lParam) = 0;

    // Blocks until the receiver has handled the message. Returns false without waiting for the
    // receiver once `senderStop` is requested, so a thread that is being stopped can never
    // deadlock against a receiver that is itself waiting for that thread.
    virtual bool Send(uint32_t msg, intptr_t wParam, intptr_t lParam,
                      std::stop_token senderStop) = 0;
};

}  // namespace velmaro
