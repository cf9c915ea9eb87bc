// Compiled as part of the calculation, which sits below the record store: must not build.
#include "records/record.h"
