#include "instrumentcommands.h"
#include "instrumentwords.h"
#include "recordwords.h"

#include "certificate/historysheet.h"
#include "lab/instrumenthistory.h"
#include "lab/labsettings.h"
#include "messages/labmessages.h"
#include "messages/storemessages.h"
#include "records/recordformat.h"

// One instrument at a time: what the register holds of it, the history of what it was found
// with, and the interval that history suggests.
namespace quarvet::cli {
namespace {

std::string optionalNumber(const std::optional<double>& value)
{
    return value ? records::numberText(*value).toStdString() : std::string();
}

// The one instrument a command names, with what its records say; none, said, otherwise.
std::optional<lab::Recall> recallOf(RecordsContext& context, const lab::Instrument& instrument,
                                    Output& io)
{
    lab::InstrumentFilter filter;
    filter.type = instrument.type;
    filter.serial = instrument.serial;
    std::optional<lab::Recall> found;
    const records::StoreFailure walked =
        lab::walkInstruments(context.store, filter, [&](lab::Recall&& recall) {
            found = std::move(recall);
            return false;
        });
    if (walked.failed() || !found)
        return storeRefusal(walked, context, io), std::nullopt;
    return found;
}

struct Looked {
    lab::Recall recall;
    QList<lab::HistoryPoint> history;
    lab::IntervalReview review;
};

// The instrument the words name, its history and its interval's review; none, said.
std::optional<Looked> lookAt(const Invocation& run, Options& options, int& status)
{
    RecordsContext& context = storeOf(run);
    const auto instrument = namedAndHeld(run, options, status);
    if (!instrument)
        return std::nullopt;
    auto recall = recallOf(context, *instrument, run.io);
    if (!recall)
        return std::nullopt;
    Looked looked{*recall, {}, {}};
    lab::LabSettings settings;
    records::StoreFailure read =
        lab::instrumentHistory(context.store, instrument->type, instrument->serial, looked.history);
    if (!read.failed())
        read = lab::readLabSettings(context.store, settings);
    if (read.failed())
        return storeRefusal(read, context, run.io), std::nullopt;
    bool readable = true;
    const calc::IntervalFactors factors = settings.intervalFactors(readable);
    if (!readable)
        run.io.sayError("quarvet-cli: " +
                        messages::labRefusal(lab::refusedAs(lab::LabRefusalKind::SettingFactors))
                            .toStdString() +
                        " The defaults are taken.\n");
    looked.review = lab::reviewInterval(looked.recall.instrument, looked.history, factors);
    return looked;
}

void field(Output& io, const char* name, const QString& value)
{
    io.out << name << '\t' << said(records::printableText(value)) << '\n';
}

} // namespace

int showInstrument(const Invocation& run)
{
    Options options;
    int status = success;
    const auto looked = lookAt(run, options, status);
    if (!looked)
        return status;
    const lab::Recall& recall = looked->recall;
    const lab::Instrument& instrument = recall.instrument;
    // Overdue on the store's day, as list and due say it.
    QDateTime now;
    if (const records::StoreFailure read = storeOf(run).store.clock(now); read.failed())
        return storeRefusal(read, storeOf(run), run.io);
    const QDate today = now.toLocalTime().date();
    const QStringList values = instrumentListValues(recall, today);
    for (qsizetype n = 0; n < values.size(); ++n)
        field(run.io, instrumentListFields()[n].toUtf8().constData(), values[n]);
    field(run.io, "tolerance", QString::fromStdString(optionalNumber(instrument.tolerance)));
    field(run.io, "rule", instrument.rule);
    field(run.io, "targets",
          instrument.target1 ? QString::fromStdString(optionalNumber(instrument.target1) + " " +
                                                      optionalNumber(instrument.target2))
                             : QString());
    field(run.io, "third_point", QString::fromStdString(optionalNumber(instrument.thirdPoint)));
    field(run.io, "registered", instrument.registered.toString(Qt::ISODate));
    field(run.io, "returned", instrument.returned.toString(Qt::ISODate));
    field(run.io, "last_record", recall.lastRecordId);
    field(run.io, "entry", QString::number(instrument.entry));
    field(run.io, "saved",
          instrument.savedUtc.toString(Qt::ISODateWithMs) + QLatin1Char(' ') + instrument.savedBy);
    field(run.io, "suggested_interval_months", QString::number(looked->review.suggestion.months));
    field(run.io, "reason", messages::intervalReason(looked->review));
    run.io.out.flush();
    return success;
}

namespace {

// Numbers by target as a JSON object: {"0":0.1,"100":-0.05}.
QString byTarget(const QList<std::pair<double, QString>>& values)
{
    QStringList members;
    for (const auto& [target, value] : values)
        members << jsonText(records::numberText(target)) + QLatin1Char(':') + value;
    return QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
}

QString historyLine(const lab::HistoryPoint& point)
{
    QList<std::pair<double, QString>> errors;
    for (const lab::FoundError& found : point.asFound)
        errors.append({found.target, records::numberText(found.error)});
    return QStringLiteral("{\"date\":%1,\"record\":%2,\"as_found\":%3,\"verdict\":%4,"
                          "\"tolerance\":%5}")
        .arg(jsonText(point.calibrated.toString(Qt::ISODate)), jsonText(point.recordId),
             byTarget(errors), jsonText(point.asFoundVerdict),
             point.tolerance ? records::numberText(*point.tolerance) : QStringLiteral("null"));
}

QString summaryLine(const Looked& looked)
{
    QList<std::pair<double, QString>> drift;
    QList<std::pair<double, QString>> u;
    QList<std::pair<double, QString>> counts;
    for (const lab::TargetDrift& target : lab::driftsOf(looked.history)) {
        drift.append({target.target, target.line ? records::numberText(target.line->perYear)
                                                 : QStringLiteral("null")});
        u.append({target.target,
                  target.line ? records::numberText(target.line->u) : QStringLiteral("null")});
        counts.append({target.target, QString::number(target.count)});
    }
    return QStringLiteral("{\"summary\":{\"records\":%1,\"drift_per_year\":%2,\"u\":%3,"
                          "\"points\":%4,\"interval_months\":%5,\"suggested_interval_months\":%6,"
                          "\"reason\":%7}}")
        .arg(looked.history.size())
        .arg(byTarget(drift), byTarget(u), byTarget(counts))
        .arg(looked.review.current)
        .arg(looked.review.suggestion.months)
        .arg(jsonText(messages::intervalReason(looked.review)));
}

int writeHistoryFile(const Looked& looked, const QString& path, const Invocation& run)
{
    const lab::Instrument& instrument = looked.recall.instrument;
    const QStringList heading{
        QStringLiteral("History of instrument %1, type %2")
            .arg(records::printableText(instrument.serial), instrument.type),
        QStringLiteral("%1 calibration(s); interval %2 months; tolerance %3")
            .arg(looked.history.size())
            .arg(instrument.intervalMonths)
            .arg(instrument.tolerance
                     ? QStringLiteral("±%1 °C").arg(records::numberText(*instrument.tolerance))
                     : QStringLiteral("none"))};
    const records::OutputFault fault = certificate::writeHistoryPdf(
        path, storeOf(run).store.files(), heading,
        certificate::historyPlotData(looked.history, looked.recall.instrument.tolerance),
        messages::historySentences(looked.history, looked.review));
    if (fault.failed())
        return refusal(messages::historyFault(fault), run.io);
    run.io.out << said(path) << '\n';
    run.io.out.flush();
    return success;
}

} // namespace

int historyCommand(const Invocation& run)
{
    Options options;
    int status = success;
    const auto looked = lookAt(run, options, status);
    if (!looked)
        return status;
    const std::string format = options.count("--format") ? options.at("--format")[0] : "text";
    if (format != "text" && format != "json")
        return usageFault("--format is text or json, not '" + calc::printable(format) + "'",
                          run.io);
    if (options.count("-o") && options.count("--format"))
        return usageFault("-o writes the history's page: --format goes without it", run.io);
    if (options.count("-o")) {
        if (!validUtf8(options.at("-o")[0]))
            return usageFault("the file name is not valid UTF-8", run.io);
        return writeHistoryFile(*looked, text(options.at("-o")[0]), run);
    }
    for (const lab::HistoryPoint& point : looked->history) {
        if (format == "json") {
            run.io.out << said(historyLine(point)) << '\n';
            continue;
        }
        QStringList values{point.calibrated.toString(Qt::ISODate), point.recordId,
                           point.asFoundVerdict};
        for (const lab::FoundError& found : point.asFound)
            values << records::numberText(found.target) + QLatin1Char('=') +
                          records::numberText(found.error);
        run.io.out << said(printableLine(values)) << '\n';
    }
    if (format == "json")
        run.io.out << said(summaryLine(*looked)) << '\n';
    else
        for (const QString& sentence : messages::historySentences(looked->history, looked->review))
            run.io.out << said(sentence) << '\n';
    run.io.out.flush();
    return success;
}

int intervalCommand(const Invocation& run)
{
    Options options;
    int status = success;
    const auto looked = lookAt(run, options, status);
    if (!looked)
        return status;
    const bool accept = options.count("--accept") > 0;
    const bool keep = options.count("--keep") > 0;
    if (accept && keep)
        return usageFault("--accept and --keep: one or the other", run.io);
    run.io.out << "interval_months\t" << std::to_string(looked->review.current) << '\n'
               << "suggested_interval_months\t" << std::to_string(looked->review.suggestion.months)
               << '\n'
               << "reason\t" << said(messages::intervalReason(looked->review)) << '\n';
    run.io.out.flush();
    if (!accept && !keep)
        return success;
    if (looked->review.suggestion.step == calc::IntervalStep::Reviewed)
        return refusal(QStringLiteral("Nothing was changed: the interval was reviewed already "
                                      "after the last calibration."),
                       run.io);
    lab::Instrument instrument = looked->recall.instrument;
    const int basedOn = instrument.entry;
    if (accept)
        instrument.intervalMonths = looked->review.suggestion.months;
    if (const records::StoreFailure changed =
            lab::changeInstrument(storeOf(run).store, instrument, basedOn, true);
        changed.failed())
        return storeRefusal(changed, storeOf(run), run.io);
    run.io.out << said(records::printableText(instrument.serial)) << ' ' << said(instrument.type)
               << " interval " << std::to_string(instrument.intervalMonths)
               << " months reviewed, entry " << std::to_string(instrument.entry) << '\n';
    run.io.out.flush();
    return success;
}

} // namespace quarvet::cli
