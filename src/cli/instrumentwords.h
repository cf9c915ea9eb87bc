#pragma once

#include "command.h"
#include "recordcommands.h"

#include "lab/instruments.h"

#include <QString>

#include <optional>

// What the commands of the register of instruments share.
namespace quarvet::cli {

// A store's failure said with the store's location; the exit status of a refusal.
int storeRefusal(const records::StoreFailure& failure, RecordsContext& context, Output& io);
// The serial number a command names as its one word, its options, and the type where given;
// false, said, on wrong usage.
bool namedInstrument(const Invocation& run, const std::vector<OptionShape>& shapes,
                     Options& options, QString& serial, std::optional<QString>& type);
// The newest entry of the one instrument `serial` (of `type`, where given) names; none, said,
// where the register holds none or several.
std::optional<lab::Instrument> oneInstrument(RecordsContext& context, const QString& serial,
                                             const std::optional<QString>& type, Output& io);

// Both: the newest entry of the one instrument the words name; none, said, with the exit
// status in `status`.
std::optional<lab::Instrument> namedAndHeld(const Invocation& run, Options& options, int& status);

int showInstrument(const Invocation& run);
int historyCommand(const Invocation& run);
int intervalCommand(const Invocation& run);

} // namespace quarvet::cli
