#pragma once
// The application library's view of one application of a client (Zendrel number and application number): its backup
// set and its client. This machine is one client with at most one backup set, described in the settings file:
//   [BackupSet]  appType = N (the backup set exists only when given), singleInstanceSilo = yes|no
// Its client is this machine (platform/clients/ClientDirectory.h).
#include <boost/shared_ptr.hpp>

#include "platform/clients/ClientDirectory.h"

class WZBackupSet {
public:
    explicit WZBackupSet(unsigned long appType) : appType_(appType) {}
    unsigned long getAppType() const { return appType_; }
    // 0 with `silo` set (false when the setting is absent).
    int hasSingleInstanceSilo(bool& silo);

private:
    unsigned long appType_;
};

class ApplicationId {
public:
    ApplicationId(unsigned long zendrelNumber, unsigned long appNumber);

    // Null when the application has no backup set.
    boost::shared_ptr<WZBackupSet> getBackupSet();
    boost::shared_ptr<WZClient> getClient();
    // The backup set's application type; 0 without a backup set.
    unsigned long getAppType();

private:
    unsigned long zendrelNumber_;
    unsigned long appNumber_;
};

// True for the application types of Unix file-system backup sets.
bool IsUnixFsBackupSetType(unsigned long appType);
