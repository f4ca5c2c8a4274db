#pragma once

namespace ks {

// Registers the shared records under the names their queued signals use.
// Call once, before any queued connection carries them.
void registerRecordTypes();

} // namespace ks
