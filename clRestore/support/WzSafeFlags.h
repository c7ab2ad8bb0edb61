#pragma once
// An integer guarded by its own monitor; every change wakes all waiters, which re-read the value.
#include "clRestore/support/WzMonitor.h"

class WzSafeFlags : public WzMonitor {
public:
    explicit WzSafeFlags(int initial) : value(initial) {}

    operator int() const {
        WzMonitorLock lock(this);
        return value;
    }
    WzSafeFlags& operator++(int) {
        WzMonitorLock lock(this);
        ++value;
        broadcast();
        return *this;
    }
    WzSafeFlags& operator--(int) {
        WzMonitorLock lock(this);
        --value;
        broadcast();
        return *this;
    }
    WzSafeFlags& operator=(int v) {
        WzMonitorLock lock(this);
        value = v;
        broadcast();
        return *this;
    }

private:
    int value;
};
