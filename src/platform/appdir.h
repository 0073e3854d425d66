#pragma once
// The program's own folder, where the settings file lives beside the executable.

#include <QString>

namespace platform {

// The folder of the running executable, with "/" separators and no trailing "/" (except "/").
QString appFolder();

// The program's folder, "/" and fileName.
QString iniPath(const QString& fileName);

}  // namespace platform
