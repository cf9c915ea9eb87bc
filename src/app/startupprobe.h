#pragma once

class QWidget;

namespace quarvet::app {

// For the start-up benchmark only: when QUARVET_STARTUP_PROBE is set, the program prints
// "shown <resident kB>" on standard output once `window` has been painted, and ends.
void armStartupProbe(QWidget* window);

} // namespace quarvet::app
