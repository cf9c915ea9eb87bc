// The control: compiled as part of the record store, its own header builds.
#include "records/record.h"
