#pragma once

#include <QString>
#include <QStringList>

namespace quarvet::records {

// Why a certificate or an export did not reach its file.
enum class OutputFaultKind {
    None,
    LinkToNothing,  // the path is a symbolic link whose target does not exist
    Folder,         // the path is a folder
    NotPlainFile,   // a device, a pipe or a socket
    RecordStore,    // the record store's own file, or one of SQLite's beside it: `detail`
    NoGraphics,     // fonts need a running graphical application, and there is none
    WriterFailed,   // the PDF writer did not start
    PageUnfinished, // the PDF writer could not finish the page
    CannotWrite,    // the system refused: `detail` is its reason
    NotAsSaved,     // the record's fields do not give its hash: it was changed after it was saved
};

struct OutputFault {
    OutputFaultKind kind = OutputFaultKind::None;
    QString path;
    QString detail;

    bool failed() const { return kind != OutputFaultKind::None; }
};

// Why a certificate or an export must not go to `path`, or None when it may. They are
// written beside it and renamed over it once whole, so the place must be a plain file or
// nothing yet: renaming over a pipe or a device (even through a link) would put a file where
// the pipe or device was, and its reader would never get a byte. Nor may it be one of `kept`,
// the record store's files, under any name or link: a certificate would replace every record.
// `which` tells the kept file it is.
OutputFaultKind unreplaceable(const QString& path, const QStringList& kept = {},
                              QString* which = nullptr);

// Whether a file can be written at `path` now, found by starting one beside it and giving it
// up: before something that happens once (a certificate's number) is spent on a file that
// cannot be had.
OutputFault writableOutput(const QString& path, const QStringList& kept = {});

struct Record;
// Whether a record is as it was saved: its fields give its hash (a record saved before its
// store kept hashes has none to check).
bool asSaved(const Record& record);
// Whether the certificate of `record` can go to `path`: not for a record changed after it was
// saved, nor where writableOutput says no. Asked before an issue, so that no number is spent on
// a certificate that cannot be printed.
OutputFault certificateOutput(const Record& record, const QString& path,
                              const QStringList& kept = {});

} // namespace quarvet::records
