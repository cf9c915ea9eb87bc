#pragma once

#include "lab/certificates.h"
#include "records/record.h"

class QPainter;

namespace quarvet::certificate {

// Draws the certificate of `record` on one A4 page; the painter's device is the page, at any
// resolution. However long its texts, the record fits: long values wrap, then shrink, then are
// cut with a count of what is left out.
// `chainHead` is the hash of the last record the store held when the page was written.
// `status` says whether it is issued, a copy or a draft.
void drawCertificatePage(QPainter& painter, const records::Record& record, const QString& chainHead,
                         const lab::CertificateStatus& status = {});

} // namespace quarvet::certificate
