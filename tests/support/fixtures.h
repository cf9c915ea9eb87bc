#pragma once

#include "calc/entry.h"

#include <QByteArray>

// What several test programs work with: the worked memory text of the instrument manual and
// the separators of the locales the tests read entries in.
namespace fixtures {

// Type 2: display line 1 shows record 1 (2710 / 01F4), line 2 record 3 (26FF / 04B0).
inline const QByteArray workedMemoryText =
    "00020000000000000010270020A107000000052700702FFCFF0000FF2600804F12000000202700000000000000";

inline const quarvet::calc::Separators point{".", ","};
inline const quarvet::calc::Separators comma{",", "."};
inline const quarvet::calc::Separators french{",", "\u202F"};
inline const quarvet::calc::Separators arabic{"\u066B", "\u066C"};
inline const quarvet::calc::Separators swiss{".", "\u2019"};

// The separators of a locale by a short name: point (the default), comma, french, arabic,
// swiss.
inline quarvet::calc::Separators separatorsNamed(const QByteArray& name)
{
    if (name == "comma")
        return comma;
    if (name == "french")
        return french;
    if (name == "arabic")
        return arabic;
    if (name == "swiss")
        return swiss;
    return point;
}

} // namespace fixtures
