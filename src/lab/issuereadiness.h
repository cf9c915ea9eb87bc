#pragma once

#include "records/recordstore.h"

// What an issue reads of the store before it spends a number, beside the walk of the chain.
namespace quarvet::lab {

// The links on either side of the record to be issued, which a walk gone on from a place
// beyond it does not read: one changed with its hash made again breaks one of them. `broken`
// names the first record found out of its place ("record ID"), or stays empty.
records::StoreFailure linksAround(records::RecordStore& store, const records::Record& record,
                                  QString& broken);

// A store kept before the hash chain brought up to date by a change of nothing, and `record`
// read again with the hash its upgrade gave it, which the certificate names.
records::StoreFailure upgradeFor(records::RecordStore& store, records::Record& record);

} // namespace quarvet::lab
