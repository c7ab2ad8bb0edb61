#pragma once
// Task-manager messages that travel in job options.
#include "platform/tasks/CNMessageBase.h"

namespace TMMsg {

// One entry of a mapped restore: <MapFilePath sourcePath="/data" destinationPath="/restore"/>.
class MapFilePath : public CNMessageBase {
public:
    static const unsigned long kSourcePathField = 0xbebae0;
    static const unsigned long kDestinationPathField = 0xef6553;

    MapFilePath(int messageSet, int messageId) : CNMessageBase(messageSet, messageId) {
        nameField(kSourcePathField, "sourcePath");
        nameField(kDestinationPathField, "destinationPath");
    }
};

}  // namespace TMMsg
