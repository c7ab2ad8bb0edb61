#pragma once
// The application library's view of the database applications of a client: which applications of a type a client
// has, the backup set of each, and the subclients of a backup set. The tables are lines of the settings file:
//   [Applications]  app = zendrelId,clientId,appType,instanceId,name,backupSetId   (backupSetId 0: no backup set)
//   [Subclients]    subclient = backupSetId,subclientId,default|other,directory
//   [Client]        physicalMachine = NAME   (this machine's name as the installation knows it; absent: its host name)
// A line that does not read so is skipped. Each lookup reads the file anew, so a test or a host configures it by
// writing the settings file.
#include <string>
#include <vector>

#include "platform/support/FaultCounter.h"

namespace wzapps {

// The local machine name, false when there is none.
bool getPhysicalMachine(std::string* name);

// Test hooks: armed, the call fails (its error, EIO when none).
wzfault::FaultCounter& physicalMachineFaults();
wzfault::FaultCounter& applicationListFaults();
wzfault::FaultCounter& subclientListFaults();
wzfault::FaultCounter& defaultSubclientFaults();

// One line of the subclient table.
struct SubclientLine {
    unsigned long backupSetId = 0;
    unsigned long subclientId = 0;
    bool isDefault = false;
    std::string directory;
};
std::vector<SubclientLine> subclientTable();

}  // namespace wzapps

// One subclient of a backup set.
class Subclient {
public:
    Subclient(unsigned long id, bool isDefault) : id_(id), default_(isDefault) {}
    unsigned long getId() const { return id_; }
    // 0 with `isDefault` set.
    int isDefaultSubclient(bool& isDefault, void* context);

private:
    unsigned long id_;
    bool default_;
};

// The backup set of a database application.
class WZDbBackupSet {
public:
    explicit WZDbBackupSet(unsigned long id) : id_(id) {}
    unsigned long getId() const { return id_; }

private:
    unsigned long id_;
};

// A database application named by the text the application list gives.
class DbApplicationId {
public:
    explicit DbApplicationId(std::string name) : name_(std::move(name)) {}
    // Null when the application is unknown or has no backup set; the reason is then in getLastError and
    // getErrorString.
    WZDbBackupSet* getBackupSet(void* context);
    int getLastError() const { return lastError_; }
    const std::string& getErrorString() const { return errorString_; }

private:
    std::string name_;
    WZDbBackupSet backupSet_{0};
    int lastError_ = 0;
    std::string errorString_;
};

class ClientApplicationList {
public:
    // The names of the applications of `appType` and `instanceId` on client `clientId`, in the order of the table;
    // 0 on success (also for none).
    int getApplications(unsigned long zendrelId, unsigned long clientId, unsigned long appType,
                        unsigned long instanceId, std::vector<std::string>& names);
    // The subclients of backup set `backupSetId`, in the order of the table; 0 on success.
    int getSubclientList(int flags, unsigned long backupSetId, void* context, int kind,
                         std::vector<Subclient>& subclients);
};
