#pragma once

#include "records/record.h"

#include <QString>

namespace quarvet::certificate {

// Writes the calibration certificate of `record` to `path`: one A4 page of PDF, all of it
// searchable text but the plot. The file appears whole or not at all; an existing file is
// replaced only by a finished certificate. Returns an empty string on success, else one
// sentence naming the file and what went wrong.
//
// Fonts need the graphical side of Qt: a QGuiApplication (or QApplication) must exist. Without
// one nothing is written and the answer says so.
QString writeCertificate(const records::Record& record, const QString& path);

} // namespace quarvet::certificate
