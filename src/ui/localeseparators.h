#pragma once

#include "calc/entry.h"

class QLocale;

namespace quarvet::ui {

// The decimal and digit-group separators of `locale`, as the entry conversion takes them.
calc::Separators separatorsOf(const QLocale& locale);

// Those of the current default locale, read afresh at every call so that a change of the
// user's settings (or QLocale::setDefault in a test) takes effect at the next check.
calc::Separators currentSeparators();

} // namespace quarvet::ui
