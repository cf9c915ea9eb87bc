#pragma once

#include "record.h"

#include <QString>
#include <QStringList>

// A record written out whole: as a CSV row, a JSON object or one line of text. Numbers in
// their shortest form that reads back as the same double; texts exactly as stored.
namespace quarvet::records {

// The CSV header: one column a field, verification readings in one column.
QString csvHeader();
// One CSV row (RFC 4180: fields holding a comma, quote, CR or LF are quoted, quotes doubled;
// rows end with CR LF), so a spreadsheet or a CSV reader gets back every text exactly.
QString csvRow(const Record& record);
// One JSON object on one line, without a line break at its end.
QString jsonObject(const Record& record);
// One line of text for a terminal: tab-separated fields, each text made printable so that
// a record never spans two lines; `localTime` shows the date in the time zone of the user.
QString textLine(const Record& record);

// A text with line breaks, control characters and invisible marks shown as escapes, for a
// place that shows one line.
QString printableText(const QString& text);

// A name (serial number, technician, reference) shown left to right in the order it is
// stored, whatever right-to-left letters it holds, and kept apart from the text around it:
// "12 א 34" must not read as "12 34 א".
QString leftToRightAsStored(const QString& name);

// A number in its shortest exact form, with a point.
QString numberText(double value);

} // namespace quarvet::records
