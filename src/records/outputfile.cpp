#include "outputfile.h"

#include <QFileInfo>

namespace quarvet::records {

OutputFaultKind unreplaceable(const QString& path)
{
    const QFileInfo target(path);
    if (target.isSymLink() && !target.exists())
        return OutputFaultKind::LinkToNothing;
    if (!target.exists() || target.isFile())
        return OutputFaultKind::None;
    return target.isDir() ? OutputFaultKind::Folder : OutputFaultKind::NotPlainFile;
}

} // namespace quarvet::records
