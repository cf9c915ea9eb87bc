#include "outputfile.h"

#include <QFileInfo>

namespace quarvet::records {

QString unreplaceable(const QString& path)
{
    const QFileInfo target(path);
    if (target.isSymLink() && !target.exists())
        return QStringLiteral("it is a link to nothing");
    if (!target.exists() || target.isFile())
        return {};
    return target.isDir() ? QStringLiteral("it is a folder")
                          : QStringLiteral("it is no plain file (a device, a pipe or a socket)");
}

} // namespace quarvet::records
