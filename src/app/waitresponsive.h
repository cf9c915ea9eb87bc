#pragma once

namespace quarvet::app {

// Waits `timeout` seconds while the windows stay responsive: pending events are processed
// until the clock has moved strictly past the deadline. The clock is monotonic, so a wait
// across midnight ends like any other; a negative (or not-a-number) timeout returns at once.
void waitResponsive(double timeout);

} // namespace quarvet::app
