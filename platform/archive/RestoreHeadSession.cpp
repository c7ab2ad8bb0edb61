#include "platform/archive/RestoreHeadSession.h"

#include "platform/archive/ArchiveMover.h"
#include "platform/log/LogWriter.h"

namespace fclarchive {

RestoreHeadSession::RestoreHeadSession(ArchiveMover& mover) : mover_(mover) {
    FCL_LOG(0, "Restore-head session not built yet: the data mover of %s is reachable only through its core",
            mover_.name().c_str());
}

RestoreHeadSession::~RestoreHeadSession() = default;

}  // namespace fclarchive
