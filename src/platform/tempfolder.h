#pragma once
// The temporary folder, where the system's "Temp" environment variable pointed.

#include <QString>

namespace platform {

// The variable Temp when set and not empty, else TMPDIR, else "/tmp"; without a trailing "/"
// (a root folder stays "/").
QString tempFolder();

}  // namespace platform
