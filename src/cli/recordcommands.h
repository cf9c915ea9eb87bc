#pragma once

#include "cli/command.h"
#include "cli/run.h"

#include "calc/entry.h"
#include "lab/certificates.h"
#include "records/recordstore.h"

#include <QDate>

#include <functional>
#include <string>
#include <vector>

namespace quarvet::cli {

// What the records commands need from outside: the store, today's date, and the writer of
// certificates (which needs a GUI application of Qt's, made only when one is asked for).
struct RecordsContext {
    records::RecordStore& store;
    QDate today;
    std::function<QString(const records::Record&, const QString& path, const QStringList& kept,
                          const QString& chainHead, const lab::CertificateStatus& status)>
        writeCertificate;
};

// quarvet-cli records list | add | issue | certificate | verify | grant. Exit codes as for
// the other commands; add gives 3 when the record it saved did not pass.
CommandTable recordCommands();

// Every command of quarvet-cli: the calculator's, then those of the store.
const CommandTable& programCommands();

} // namespace quarvet::cli
