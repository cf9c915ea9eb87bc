#pragma once

#include "record.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The store's records as a hash chain: each record's hash covers every field it keeps and the
// hash of the record saved before it, so a record changed, removed or slipped in afterwards
// shows, and so does every certificate printed with a later chain head.
namespace quarvet::records {

// What the first record of a store links to.
QString chainStart();

// A value on one line of a canonical form, whatever it holds: backslash, line feed and
// carriage return written as \\, \n and \r.
QByteArray escaped(const QString& text);

// The bytes a record's hash is taken over: every field it keeps, in the columns' order, each
// as name=value on a line of its own, the empty ones of later columns left out.
QByteArray canonicalForm(const Record& record);

// SHA-256 of the canonical form, in small hexadecimal digits.
QString recordHash(const Record& record);

// Where a walk of the chain found it broken.
struct ChainBreak {
    enum class Kind {
        Changed,   // its fields do not give its hash: changed, or inserted with a forged one
        Removed,   // the record saved before it is not the one it links to
        Inserted,  // the chain passes it by, or it has no hash at all
        Backwards, // dated before the record saved before it by more than `clockSkew`
    };
    Kind kind;
    Record record; // the record named
};

// How far the clocks of workstations saving into one store may differ: a record dated before
// the one saved before it by more than this was dated by a clock set back.
inline constexpr qint64 clockSkewSeconds = 300;

// Walks a store's records in the order they were saved, one at a time, and says where the
// chain first breaks. Each record is judged when the next one has been seen: whether the chain
// goes on from it or passes it by tells a changed record from one slipped in.
class ChainWalk {
public:
    // Goes on from a walk before that found `count` records whole, the last with `hash`,
    // saved at `savedUtc`.
    void resume(qint64 count, const QString& hash, const QDateTime& savedUtc);
    // False once the chain is found broken: the walk need not go on.
    bool add(const Record& record);
    // Judges the last record; the break, if any.
    std::optional<ChainBreak> finish();

    qint64 count() const { return count_; }   // the records seen
    qint64 intact() const { return intact_; } // those found linked and whole
    QString head() const { return head_; }    // the last record's hash once the chain is whole
    QDateTime lastSaved() const { return lastSaved_; } // the last whole record's saving time
    // The first record dated more than the skew before the one saved before it, if any.
    std::optional<ChainBreak> backwards() const { return backwards_; }

private:
    void judge(const Record* next);

    std::optional<Record> pending_;
    std::optional<ChainBreak> broken_;
    std::optional<ChainBreak> backwards_;
    QString expected_ = chainStart();
    QDateTime lastSaved_;
    QString head_;
    qint64 count_ = 0;
    qint64 intact_ = 0;
};

} // namespace quarvet::records
