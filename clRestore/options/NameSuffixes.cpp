// The restore file name extension and the version suffix, by the rules destination naming gives a file's name; the
// two job operations apply them to any path for the host.
#include "clRestore/options/NameSuffixes.h"

#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXString.h"

namespace {

const char kExtensionMarker[] = "for clrestore file extension";
const unsigned long kAppTypesWithoutVersion[] = {37, 62, 103, 128};

}  // namespace

namespace fclnames {

const char* restoreSuffixOf(const FSRInitData* init) {
    if (init == nullptr || init->suffixTag == nullptr || strcmp(init->suffixTag, kExtensionMarker) != 0) {
        return nullptr;
    }
    return init->restoreSuffix != nullptr ? init->restoreSuffix : "";
}

bool keepsVersionSuffix(unsigned long appType) {
    for (unsigned long exempt : kAppTypesWithoutVersion) {
        if (appType == exempt) {
            return false;
        }
    }
    return true;
}

}  // namespace fclnames

void FclRestore::UpdatePathBasedOnRestoreSuffix(std::string& path) {
    const char* suffix = fclnames::restoreSuffixOf(getInitData());
    if (suffix == nullptr) {
        return;
    }
    path += suffix;
    FCL_LOG(4, "New Restore path after adjust for restore suffix: %s", path.c_str());
}

void FclRestore::UpdatePathBasedOnFileVersion(unsigned int version, std::string& path) {
    if (path.empty() || version == 0 || !fclnames::keepsVersionSuffix(getAppType())) {
        return;
    }
    std::string suffix;
    FXString::Format(suffix, ",%lu", static_cast<unsigned long>(version));
    path += suffix;
    FCL_LOG(4, "New Restore path after adjust for version: %s", path.c_str());
}
