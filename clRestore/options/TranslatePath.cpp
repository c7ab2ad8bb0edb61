// The destination of a path a pre-header carries (a stub and its copy): the job's mapping, or path translation when
// the job has none. Answers are per-item ids; nothing the naming throws passes the pre-header handler.
#include <exception>
#include <new>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "clRestore/support/PathSafety.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"

namespace {

const int kNotMapped = -1;

int itemId(unsigned long id) {
    return static_cast<int>(id);
}

// Runs one naming step; the id of a ClExceptError it throws, or of the standard exception turned into one.
template <class Step>
int guarded(Step step) {
    try {
        try {
            return step();
        } catch (const std::exception&) {
            throwAsItemError();
        }
    } catch (const ClExceptError& error) {
        return error.getErrCode();
    }
}

}  // namespace

int FclRestoreUNIX::TranslatePath(FsRestoreObjectsFactory* factory, const std::string& source, bool isDir,
                                  std::string& out) {
    const int mapped = ComputeMappedPath(factory, source, out);
    return mapped == kNotMapped ? ComputeRestorePath(factory, source, isDir, out) : mapped;
}

int FclRestoreUNIX::ComputeMappedPath(FsRestoreObjectsFactory* factory, const std::string& source, std::string& out) {
    if (factory == nullptr) {
        return itemId(fclitem::kRawDeviceNotRestorable);
    }
    if (!factory->isFileMappingEnabled()) {
        return kNotMapped;
    }
    return guarded([&]() {
        std::string lookup;
        factory->convertWindowsPathToUnixPath(source.c_str(), lookup);
        std::string mapped;
        if (!factory->getMappingPath(mapped, lookup)) {
            return itemId(fclitem::kNoDestination);
        }
        if (mapped.empty()) {
            return itemId(fclitem::kExcludedByMapping);
        }
        out = mapped;
        return 0;
    });
}

int FclRestoreUNIX::ComputeRestorePath(FsRestoreObjectsFactory* factory, const std::string& source, bool isDir,
                                       std::string& out) {
    if (factory == nullptr) {
        return itemId(fclitem::kRawDeviceNotRestorable);
    }
    const unsigned long options = factory->getOptions();
    const bool silo = _owner != nullptr && _owner->GetSiloJobFlag();
    return guarded([&]() {
        if ((options & FSR_OPT_SYNTHETIC_FULL) != 0 || ((options & FSR_OPT_OUT_OF_PLACE) == 0 && !silo)) {
            // In place: the path stays where the source had it, once it is known not to climb.
            std::string path = source;
            checkItemDestination(path, std::string());
            out = path;
            return 0;
        }
        std::string converted;
        factory->convertWindowsPathToUnixPath(source.c_str(), converted);
        std::string result;
        factory->translatePathname(result, converted, nullptr, isDir ? 0x4000 : 0x8000);
        if (result.empty()) {
            FCL_LOG(5, "translatePathname(%s) failed", converted.c_str());
            return itemId(fclitem::kRawDeviceNotRestorable);
        }
        out = result;
        return 0;
    });
}
