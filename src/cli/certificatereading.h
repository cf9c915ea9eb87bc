#pragma once

#include "certificate/certificatemark.h"

#include <QString>

// A certificate file is read by Poppler in a process of its own, bounded in time and memory: a
// PDF made to inflate to gigabytes, or to keep a reader busy for minutes, costs that process,
// not the command, which says the file is no certificate of this program's.
namespace quarvet::cli {

struct Output;

// The marks `path` carries and its PDF signature (held against the laboratory's `key`, where
// it is set), read in a child of this program; their fault when the child could not read them
// within its time and memory.
certificate::CertificateMarks readMarksApart(const QString& path,
                                             const certificate::SigningKey& key = {});

// What records check-certificate --marks FILE [NSS-FOLDER NICKNAME] prints: the marks read,
// as one JSON object with "metadata", "page" and "signature" (null when it carries none);
// exit 1 with the fault.
int printMarks(const QString& path, const certificate::SigningKey& key, Output& io);

} // namespace quarvet::cli
