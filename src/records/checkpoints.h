#pragma once

#include "recordstore.h"

#include <QString>

#include <optional>

// Where walks of the chain found each store whole, kept in the user's cache, so that the
// everyday walks (before an issue, when the history opens) go on from there instead of reading
// ten years of records again. Only a cache: a checkpoint that cannot be read or kept costs a
// whole walk, never a wrong answer, and records verify always walks everything.
namespace quarvet::records {

// The cache's file: $XDG_CACHE_HOME/Quarvet/chain-checkpoints, or ~/.cache/...; empty where
// neither names an absolute folder.
QString checkpointFile(const QString& cacheHome, const QString& home);

// The checkpoint kept for the store at `location`; none when the file holds none that reads.
std::optional<ChainCheckpoint> readCheckpoint(const QString& file, const QString& location);

// Keeps `reached` for the store at `location` in place of the one before (none: forgets it);
// false when the file could not be written, or is not a file of its own (a link, a folder).
bool keepCheckpoint(const QString& file, const QString& location,
                    const std::optional<ChainCheckpoint>& reached);

// The store's chain walked on from the checkpoint its user's cache holds for it (from the
// start without one), and the checkpoint the walk reached kept for the next.
StoreFailure checkChainOnward(RecordStore& store, ChainReport& report);

// The checkpoint a whole walk reached, kept for the store; a store found broken keeps none.
void keepReached(const RecordStore& store, const ChainReport& report);

} // namespace quarvet::records
