#pragma once

#include "records/storefault.h"

#include <QString>

// Every sentence the program says about a record store that could not do what was asked.
namespace quarvet::messages {

QString storeFault(const records::StoreFault& fault);

} // namespace quarvet::messages
