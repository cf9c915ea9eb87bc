#pragma once

#include "lab/labrefusal.h"
#include "records/recordstore.h"

#include <QDateTime>
#include <QList>
#include <QString>

// Who may sign the laboratory's records: logins the store authenticates, with the name and
// role printed beside a signature. Kept in the store like the register, never changed: a new
// entry for every change, a withdrawal an entry no longer listed.
namespace quarvet::lab {

struct Signer {
    QString login; // the database role on a shared database; the system login on a file
    int entry = 0; // 1 for its first entry, one more for each change
    QString name;  // printed beside each of its signatures
    QString role;
    bool listed = true; // false once withdrawn
    QDateTime savedUtc;
    QString savedBy;

    bool operator==(const Signer&) const = default;
};

// What is wrong with an entry before it is kept: its login, name and role each one line of
// 1 to 200 characters without control characters or marks that turn text around, the login
// without blanks in it.
LabRefusal signerProblem(const Signer& signer);

// Adds `signer` as the next entry of its login (its `entry`, `savedUtc` and `savedBy` are the
// store's); `signer.entry` is set to the number it got.
records::StoreFailure addSigner(records::RecordStore& store, Signer& signer);
// The newest entry of every login, by login; withdrawn ones too.
records::StoreFailure listSigners(records::RecordStore& store, QList<Signer>& signers);

} // namespace quarvet::lab
