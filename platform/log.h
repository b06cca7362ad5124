// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Warnings for conditions a user cannot see otherwise (a worker that would not stop, a dropped
// oversize frame). Written to standard error; nothing here ever throws.
#pragma once

namespace velmaro {

[[gnu::format(printf, 1, 2)]] void LogWarning(const char* format, ...);

}  // namespace velmaro
