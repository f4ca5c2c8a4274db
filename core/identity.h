#pragma once

namespace ks {

// Gives the application object the program's names and version. The
// organisation and application names decide where the settings are stored.
void applyIdentity();

} // namespace ks
