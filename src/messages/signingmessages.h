#pragma once

#include "records/storefault.h"

#include <QString>

// The sentences about what stood in the way of a signature, or of an issue for want of one,
// and of a change of the register of instruments.
namespace quarvet::messages {

// The sentence of a signing fault; empty for any other.
QString signingFailureOf(const records::StoreFault& fault);

} // namespace quarvet::messages
