#include "localeseparators.h"

#include <QLocale>

namespace quarvet::ui {

calc::Separators separatorsOf(const QLocale& locale)
{
    return {locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()};
}

calc::Separators currentSeparators()
{
    return separatorsOf(QLocale());
}

} // namespace quarvet::ui
