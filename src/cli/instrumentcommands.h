#pragma once

#include "recordcommands.h"

#include "lab/instruments.h"

#include <QDateTime>
#include <QString>

#include <string>

namespace quarvet::cli {

// quarvet-cli instruments add | change | retire | out-of-service | in-service | show | list |
// due | history | interval: the register of instruments, what is due, and each instrument's
// history and interval.
CommandTable instrumentCommands();

// What the register holds of the instrument `records add` names by its serial number (and its
// --type, where given), over which the options typed win: its type, line, owner as the
// customer, description and decision rule into `options`, its tolerance into `tolerance`. Where
// the register holds none, or for a correction, nothing; false, said, with the exit status in
// `status`, where it holds several and no --type tells, or --type or --line is still not given.
bool takeRegisteredDefaults(Options& options, RecordsContext& context, Output& io,
                            std::optional<double>& tolerance, int& status);

// The due instruments as an iCalendar file (RFC 5545), in UTF-8: its head, one all-day event
// for each on its due day, stamped `nowUtc`, and its end.
std::string calendarHead();
std::string calendarEvent(const lab::Recall& recall, const QDate& today, const QDateTime& nowUtc);
std::string calendarEnd();

// The fields of a listing of instruments, and one instrument's values in the same order,
// as text: its columns for CSV and JSON alike.
const QStringList& instrumentListFields();
QStringList instrumentListValues(const lab::Recall& recall, const QDate& today);
// One instrument as a JSON object of those fields: numbers and true/false as JSON has them.
QString instrumentJson(const lab::Recall& recall, const QDate& today);

} // namespace quarvet::cli
