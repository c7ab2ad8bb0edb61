#pragma once
// The seek optimiser of the platform: a decision object that tells, item by item, whether the item a seek names
// needs a restore at all. Nothing on this machine keeps what an earlier restore left at a destination, so the
// stand-in restores everything; tests configure decisions through the hooks below.
#include <map>
#include <string>
#include <vector>

#include "platform/support/FaultCounter.h"

class FsRestoreObjectsFactory;
class FclRestore;
class EvEvent;
class CTimeStamp;

// Virtual operations in slot order; the engine never calls slots 3, 8 and 11.
class SeekDecision {
public:
    virtual ~SeekDecision();
    // Non-zero when the object is usable. `keepModifiedSince` is null unless a synchronised restore keeps files
    // modified since then.
    virtual int Initialize(FsRestoreObjectsFactory* factory, FclRestore* job, EvEvent* event, int syncRestore,
                           CTimeStamp* keepModifiedSince) = 0;
    virtual int Reset();
    // 0 when the item need not be restored; its status and destination name are then what the next two give.
    virtual int IsRestoreRequired(const char* path, unsigned long long sixthWord, unsigned long long flags,
                                  unsigned long long version) = 0;
    virtual int IsRestoreRequiredV2(const char* path, unsigned long long sixthWord, unsigned long long flags,
                                    unsigned long long version, unsigned long long extraSeekWord) = 0;
    virtual int GetLastStatus() = 0;
    virtual void GetDestinationName(std::string& name) = 0;
    virtual void DumpState();
    virtual void OnRestoreEnd() = 0;
    virtual bool IsOptimizationEnabled() = 0;
    virtual void Flush();
    virtual void RecordDeletedItem(const char* path, unsigned long long flags) = 0;
};

class SeekDecisionFactoryObj {
public:
    // Kind 0: the object of a job whose seeks are not optimised. Null when it cannot be made.
    static SeekDecision* allocateObj(int kind);
    // The object of an ordinary job. Null when it cannot be made.
    static SeekDecision* allocateObj(FsRestoreObjectsFactory* factory, FclRestore* job);
};

namespace wzseek {

// What a decision object answers; taken when it is made.
struct SkipDecision {
    int status = 0;           // GetLastStatus after the decision
    std::string destination;  // GetDestinationName after the decision ("" leaves the engine's name)
};

struct DecisionConfig {
    bool optimizationEnabled = false;  // what a full object's IsOptimizationEnabled answers
    bool initializeFails = false;
    std::map<std::string, SkipDecision> skips;  // items, by seek path, that need no restore
    int deletedItemStatus = 0;                  // GetLastStatus after RecordDeletedItem
};

namespace hooks {

// Decisions of the objects made from now on; reset() goes back to "restore everything".
void configure(const DecisionConfig& config);
void reset();
// Armed, allocateObj answers null.
wzfault::FaultCounter& allocationFaults();
// Every call the engine made on any decision object, as text ("IsRestoreRequired <path> <sixth> <flags> <ver>",
// "Initialize sync=<n> keep=<unix seconds or none>", "RecordDeletedItem <path> <flags>", "OnRestoreEnd", ...).
std::vector<std::string> calls();
void clearCalls();

}  // namespace hooks
}  // namespace wzseek
