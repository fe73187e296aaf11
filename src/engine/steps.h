#pragma once
// What the load and apply steps of every page share: a setting read from its
// key, a guarded read, a key opened for writing.

#include <string>
#include <string_view>

#include "engine/store/errors.h"
#include "engine/store/registry.h"

namespace frambul::engine {

// Reads one setting from its key; a key that cannot be opened disables the
// control. Either way the load has been through the control.
template <class Control, class Read>
void LoadFrom(store::TRegistry& registry, std::string_view key, bool mayCreate, Control& control, Read read) {
  if (registry.OpenPath(key, mayCreate)) {
    read();
  } else {
    control.Enabled = false;
  }
  control.Loaded = true;
}

// A guarded read: when the store fails, the control keeps what it showed.
template <class Read>
void Guarded(Read read) {
  try {
    read();
  } catch (const store::EStoreError&) {
  }
}

// Opens a key, creating what is missing. When even that fails no key stays
// open, so the write that follows fails loudly instead of landing in the key
// opened before.
inline void OpenOrCreate(store::TRegistry& registry, std::string_view path) {
  if (!registry.OpenPath(path, true)) registry.CloseKey();
}

// Opens a key for the writes that follow, creating what is missing; when it
// can be neither opened nor made, the store's write error naming `what` ends
// the step, so that nothing is deleted or written into another key.
inline void OpenForWrite(store::TRegistry& registry, std::string_view path, std::string_view what) {
  OpenOrCreate(registry, path);
  if (!registry.HasOpenKey())
    throw store::ERegistryException(store::Format("Failed to set data for '%s'", std::string(what)));
}

}  // namespace frambul::engine
