// Compiled as part of the record store, which sits below the words that say its faults: must
// not build.
#include "messages/storemessages.h"
