#pragma once

#include <QString>

namespace quarvet::records {

// Why a certificate or an export must not go to `path`, or empty when it may. They are
// written beside it and renamed over it once whole, so the place must be a plain file or
// nothing yet: renaming over a pipe or a device (even through a link) would put a file where
// the pipe or device was, and its reader would never get a byte.
QString unreplaceable(const QString& path);

} // namespace quarvet::records
