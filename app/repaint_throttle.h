// How often a list that changes on every step of a walk or a run reaches the screen: about 25
// times a second, so it visibly fills while painting costs little beside the work itself.
#pragma once

#include <QElapsedTimer>

namespace quillmark::app {

class RepaintThrottle {
  public:
    static constexpr qint64 kIntervalMilliseconds = 40;

    // True the first time and then once the interval has passed since the last true.
    bool due() {
        if (lastPaint_.isValid() && !lastPaint_.hasExpired(kIntervalMilliseconds)) return false;
        lastPaint_.start();
        return true;
    }
    // Counts the interval from now, as if a paint had just happened.
    void restart() { lastPaint_.start(); }

  private:
    QElapsedTimer lastPaint_;
};

}  // namespace quillmark::app
