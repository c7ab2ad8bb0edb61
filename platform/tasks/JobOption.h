#pragma once
// The job-options document of a task (EvTask::getXMLOptions), read as a message. Its root element is
// <TMMsg_JobOption>; the sections a restore reads, each optional:
//   <destination appType="N"/>                       the destination's application type
//   <cloudApps instanceType="N"/>                    the cloud application's instance type
//   <virtualServerRestore restoreToVM="true"/>       restore into a virtual machine through the plug-in
//   <cloudDatabase instanceType="N" instanceNumber="N"/>  the cloud database instance of the job
#include "platform/tasks/CNMessageBase.h"

namespace TMMsg {

class JobOption : public CNMessageBase {
public:
    static constexpr const char* kRootName = "TMMsg_JobOption";

    JobOption() : CNMessageBase(0, 0) {}

    // The root object of the document, or null when the document has another root (or none was read).
    JobOption* getObjectAccessor() { return rootName() == kRootName ? this : nullptr; }
};

}  // namespace TMMsg
