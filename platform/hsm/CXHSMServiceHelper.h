#pragma once
// Class-wide switches and probes of the storage-management service.

class CXHSMServiceHelper {
public:
    static void setUseCache(bool useCache);
    static bool getUseCache();
    // Whether the storage filter (stub) driver is loaded: never on this machine.
    static bool IsFSFDriverLoaded();
};

// The installed file-system data managers: 0, none is installed on this machine.
int IsFSDMInstalled();
