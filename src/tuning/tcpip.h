#pragma once
// The network page: the MTU of the first TCP/IP binding, the stack's default
// receive window (RWIN) and time-to-live (TTL), all string values under
// HKEY_LOCAL_MACHINE.

#include <cstdint>

#include "engine/main_form.h"
#include "engine/store/registry.h"

namespace frambul::tuning {

// The items of "TTL (Time To Live)", the third one empty.
inline constexpr const char* kTtlItems[] = {"32", "64", ""};
// What "Обычно Равно (MTU-40)*4" says when the MTU is no number.
inline constexpr const char* kBadMtu = "Некорректное Значение MTU";

// Fills MTU, RWIN and TTL and finds `NetTransKey`; disables the controls whose
// key is missing. A `DriverDesc` that is no string throws and ends the load.
void LoadTcpIp(store::TRegistry& registry, engine::MainForm& form);

// Writes the three values of the loaded, enabled controls, the texts as typed
// (an empty text deletes its value). The MTU goes only to the binding the
// load found. A key that can be neither opened nor made raises the store's
// write error before anything goes into it.
void ApplyTcpIp(store::TRegistry& registry, const engine::MainForm& form);

// "Рекомендованные": MTU 576, RWIN from it, TTL 64; the MTU is marked.
void BitBtn1Click(engine::MainForm& form);

// "Обычно Равно (MTU-40)*4": RWIN from the MTU, in 32-bit arithmetic that
// wraps, and marked. False, and nothing changed, when the MTU is no number.
bool Label6Click(engine::MainForm& form);

// The user picked an item of the TTL list.
void TTLCbxChange(engine::MainForm& form, int index);

// (mtu - 40) * 4 as a 32-bit machine computes it, wrapping.
int32_t RwinFromMtu(int32_t mtu);

}  // namespace frambul::tuning
