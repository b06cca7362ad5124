// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Leaves the sound out of a transport stream clip, packet by packet, so that nothing of it
// remains: a clip a driver hands out may otherwise carry what was said in the car.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmaro {

// Removes the elementary stream `pid` from the program map section `packet` begins, with the
// section's length and CRC worked out afresh and the freed room stuffed. False, leaving the
// packet as it was, when it begins no whole, intact map or the map has no such stream.
bool DropStreamFromMap(uint8_t* packet, int pid);

// Turns a packet of the sound's PID into one that carries its programme clock only (the clock
// may ride on the sound). False when it carries no clock: the packet is then to be dropped.
bool KeepClockOnly(uint8_t* packet);

// The packets of `data` with those of the sound's PID `pid` taken out (or cut down to the
// clock they carry), moved together; gives the new size. Packets are taken to start at `data`
// and every 188 bytes on; bytes that are not a packet there stay as they are.
size_t DropSoundPackets(uint8_t* data, size_t size, int pid);

}  // namespace velmaro
