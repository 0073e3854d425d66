#include "platform/tempfolder.h"

#include <QtGlobal>

namespace platform {

QString tempFolder() {
    QString folder = qEnvironmentVariable("Temp");
    if (folder.isEmpty()) folder = qEnvironmentVariable("TMPDIR");
    if (folder.isEmpty()) folder = QStringLiteral("/tmp");
    while (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
    return folder;
}

}  // namespace platform
