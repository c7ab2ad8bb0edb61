// An item's access-control lists and extended attributes, from its optional header: loaded into the ACL helper,
// applied before the data (by descriptor when the item is open, otherwise by path, never through a symbolic link)
// and after it, judged for ACL pass-through, and the default Lustre striping that goes with them.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/ReaderIdentity.h"
#include "clRestore/engine/RestoreIdentity.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/AccessLists.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/acl/WzAclHelper.h"
#include "platform/events/EvEvent.h"
#include "platform/hsm/CXHSMLowLevelCtx.h"
#include "platform/log/LogWriter.h"
#include "platform/lustre/LustreStripe.h"
#include "protocol/FsrMessages.h"

namespace {

constexpr unsigned long kRestoreAcls = 0x80;
constexpr unsigned long kAclsNotRestored = 0x1700005f;
constexpr uint64_t kAclAnyPlatform = 0x0100000000000000ULL;
constexpr int kHsmDriverKind = 5;
constexpr unsigned kLabelCheckOption = 1;
constexpr unsigned kManagedDestinationOption = 8;
constexpr size_t kLustreLayoutSize = 1024;

// Each is raised or logged once per process.
std::atomic<bool> g_labelOptionAdded(false);
std::atomic<bool> g_disabledLogged(false);
std::atomic<bool> g_incompatibleRaised(false);
std::atomic<bool> g_unsupportedRaised(false);
std::atomic<bool> g_failureRaised(false);
std::atomic<bool> g_unsupportedLogged(false);

bool firstTime(std::atomic<bool>& flag) {
    return !flag.exchange(true);
}

void majorEvent(FsRestoreUnixObject& item, unsigned long id) {
    if (item._event != nullptr) {
        item._event->MajorEvent(static_cast<int>(id));
    }
}

bool isDirectory(const FsRestoreUnixObject& item) {
    return (item._mode & S_IFMT) == S_IFDIR;
}

bool isLink(const FsRestoreUnixObject& item) {
    return (item._mode & S_IFMT) == S_IFLNK;
}

bool unsupportedHere(int err) {
    return err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS;
}

// The failure of an application, as a job that is not impersonating, not an index cache and not a silo job sees it.
bool reportApplyFailure(FsRestoreUnixObject& item, WzACL::Helper& helper) {
    FclRestore* job = item._ownerFactory->getJob();
    const int err = helper.getLastErrno();
    if (g_impersonated || err == 0 || (item._ownerFactory->getOptions() & FSR_OPT_INDEX_CACHE) != 0 ||
        (job != nullptr && job->GetSiloJobFlag())) {
        return true;
    }
    FCL_LOG(2, "WzACL::Helper::set failed for '%s' error:%d:%s", item._filename.empty() ? "-" : item._filename.c_str(),
            err, helper.getLastError().c_str());
    bool ok = true;
    if (helper.isErrorFatal() == 0) {
        if (job != nullptr) {
            job->reportPartialSuccess();
        }
        item.countLoss(FsRestoreStatistics::Loss::AclsOrXattrs, err);
    } else {
        item.handleError(static_cast<unsigned long>(err));
        if (item._ownerFactory->getErrCode() == fclitem::kWriteFailed) {
            item._ownerFactory->setErrCode(fclitem::kAclFailed);
        }
        ok = false;
    }
    // A destination that cannot keep ACLs or attributes is told once as such; the items go on without them. It is
    // a failure to apply like any other: the one event of a failed application covers it.
    if (unsupportedHere(err) && firstTime(g_unsupportedLogged)) {
        FCL_LOG(0,
                "The destination of '%s' does not support access-control lists or extended attributes; items are "
                "restored without them",
                item._filename.c_str());
    }
    if (firstTime(g_failureRaised)) {
        majorEvent(item, fclitem::kAclFailed);
    }
    return ok;
}

}  // namespace

void fclobjects::resetAclOnceFlags() {
    g_labelOptionAdded = false;
    g_disabledLogged = false;
    g_incompatibleRaised = false;
    g_unsupportedRaised = false;
    g_failureRaised = false;
    g_unsupportedLogged = false;
}

int FsRestoreUnixObject::writeOptHeader(void* buffer, int length) {
    const unsigned long options = _ownerFactory->getOptions();
    const bool windowsSource = _ownerFactory->isWindowsCrossRestore(_sourcePlatform);
    FCL_LOG(2,
            "_dontRestore:%d _hardLink:%d, _dontRestoreStubWtihGUID:%d, isUnixFSDM:%d isWindowsCrossRestore:%d, "
            "_filename:%s:, _statReturn:%d",
            _dontRestore, _hardLink, _dontRestoreStubWithGUID ? 1 : 0, (options & FSR_OPT_DEST_IS_FILE) != 0 ? 1 : 0,
            windowsSource ? 1 : 0, _filename.c_str(), _statReturn);
    if ((_dontRestore != 0 && !_dontRestoreStubWithGUID) || _hardLink != 0 || (options & FSR_OPT_DEST_IS_FILE) != 0 ||
        windowsSource) {
        return 1;
    }
    if (!configureACLHelper(buffer, length)) {
        return 1;
    }
    const bool ok = ProcessACL(false);
    CheckLustreACL(ok);
    return ok ? 1 : 0;
}

bool FsRestoreUnixObject::configureACLHelper(void* buffer, int length) {
    const unsigned long options = _ownerFactory->getOptions();
    if ((options & (kRestoreAcls | FSR_OPT_ACL_ONLY)) == 0) {
        if (firstTime(g_disabledLogged)) {
            FCL_LOG(0, "ACL Restore is disabled based on job option[0x%lX]", options);
        }
        return false;
    }
    if (!_ownerFactory->GetGUIFlagForTsolLLabelCheck() && firstTime(g_labelOptionAdded)) {
        WzACL::Helper::SetOptions(static_cast<WzACL::enum_OptionSet>(WzACL::Helper::GetOptions() | kLabelCheckOption));
    }
    _aclHelper.reset(
        WzACL::Helper::getInstance(_ownerFactory->IsHadoopRestore() ? WzACL::kTypeHadoop : WzACL::kTypeUnix));
    if (!_aclHelper) {
        FCL_ERROR("memory allocation error (ACL helper)");
        return false;
    }
    if (!WzACL::Helper::isAclSupported()) {
        FCL_LOG(0, "WzACL::Helper::isAclSupported()=%d, will not recall ACLs", 0);
        if (firstTime(g_unsupportedRaised)) {
            majorEvent(*this, kAclsNotRestored);
        }
        _aclHelper.reset();
        return false;
    }
    FclRestore* job = _ownerFactory->getJob();
    if (job != nullptr &&
        (job->IsDestinationGluster() || (_hsmCtx != nullptr && _hsmCtx->getuseDriver() == kHsmDriverKind))) {
        WzACL::Helper::SetOptions(static_cast<WzACL::enum_OptionSet>(kManagedDestinationOption));
    }
    if ((_flags & kAclAnyPlatform) == 0 && _sourcePlatform != CXHDR_PLATFORM_UNIX) {
        if (firstTime(g_incompatibleRaised)) {
            FCL_LOG(0,
                    "The data contains header information incompatible with running OS (x%lX). ACL Information will "
                    "not be restored.",
                    static_cast<unsigned long>(_sourcePlatform));
            majorEvent(*this, kAclsNotRestored);
        }
        _aclHelper.reset();
        return false;
    }
    // The prefix is the stream's; what the helper reads follows it, and must lie within what the prefix announces.
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    if (buffer == nullptr || length < static_cast<int>(fclobjects::kOptHeaderPrefixSize) ||
        fclobjects::optHeaderBodyLength(bytes) != static_cast<uint64_t>(length) - fclobjects::kOptHeaderPrefixSize) {
        FCL_ERROR("The optional header of '%s' (%d bytes) is not whole; its ACL data is not read", _filename.c_str(),
                  length);
        _aclHelper.reset();
        return false;
    }
    if (_aclHelper->fromNetworkBuffer(bytes + fclobjects::kOptHeaderPrefixSize,
                                      length - static_cast<int>(fclobjects::kOptHeaderPrefixSize), _flags) != 0) {
        FCL_LOG(0, "WzACL::Helper::fromNetworkBuffer failed :%d:%s", _aclHelper->getLastErrno(),
                _aclHelper->getLastError().c_str());
        _aclHelper.reset();
        return false;
    }
    return true;
}

bool FsRestoreUnixObject::ProcessACL(bool bPostData) {
    if (!_aclHelper) {
        return true;
    }
    if (bPostData && !(WzACL::Helper::isAclSupported() && _aclHelper->hasPostDataAcl())) {
        return true;
    }
    FCL_LOG(7, "bPostData ACL  %d", bPostData ? 1 : 0);
    bool result = true;
    const bool asRoot =
        g_impersonated && g_preserveOwnership && (_statReturn == -1 || (isDirectory(*this) && g_setACL));
    // The process's own identity for this step only: whatever way the step ends, the scope takes the restore-as
    // user's back, and it switches nothing unless a reader holds that user's identity.
    fclreader::OriginalIdentityScope originalIdentity;
    if (asRoot && !originalIdentity.enter()) {
        FCL_ERROR("error [%d] impersonating to root user", errno);
    }
    // By path the helper reaches the item without following its name (the file calls take long paths whole), so
    // the working directory is never changed for it.
    if (_handle == -1 || !_aclHelper->canSetByHandle() || isLink(*this)) {
        if (bPostData) {
            _aclHelper->setPostData(_filename.c_str(), isLink(*this));
        } else {
            _aclHelper->set(_filename.c_str(), isLink(*this));
        }
    } else if (bPostData) {
        _aclHelper->setPostData(_handle);
    } else {
        _aclHelper->set(_handle);
    }
    result = reportApplyFailure(*this, *_aclHelper);
    if (!originalIdentity.leave()) {
        const int err = errno;
        FCL_ERROR("error [%d] impersonating with user [%s] uid [%d] gid [%d]", err, uName.c_str(),
                  static_cast<int>(uPwd.pw_uid), static_cast<int>(uPwd.pw_gid));
        if (_event != nullptr) {
            *_event << err;
        }
        majorEvent(*this, fclitem::kBackToUserFailed);
        _ownerFactory->setErrCode(fclitem::kBackToUserFailed);
        result = false;
    }
    return result;
}

void FsRestoreUnixObject::CheckLustreACL(bool flag) {
    if (_ownerFactory->getJob() == nullptr || !_onLustre || !flag || !_aclHelper) {
        return;
    }
    char layout[kLustreLayoutSize] = {};
    if (_aclHelper->getXattr(_filename.c_str(), "lustre.lov", layout, sizeof layout) < 0) {
        if (!isDirectory(*this) && !isLink(*this)) {
            FCL_LOG(6,
                    "Extended Attribute : lustre.lov not found. Set default stripe information through lustre ioctl");
        }
        return;
    }
    FCL_LOG(6, "Retrieved XATTR: lustre.lov, Don't set stripe information through ioctl");
    _setLustreStripe = false;
}

bool FsRestoreUnixObject::ShouldRestoreFileBasedOnACL(void* buffer, int length) {
    if (!configureACLHelper(buffer, length)) {
        return true;
    }
    return checkACLPassthrough();
}

bool FsRestoreUnixObject::checkACLPassthrough() {
    if (!_aclHelper || isDirectory(*this)) {
        return true;
    }
    const bool extended = _aclHelper->hasExtendedAcl() == 1;
    FCL_LOG(7, extended ? "Extended ACL is set for this file %s" : "Extended ACL is not set for this file %s",
            _filename.c_str());
    const bool owner = static_cast<uint64_t>(uPwd.pw_uid) == _uid;
    if (owner) {
        FCL_LOG(7, "User = [%d] is the owner for the file %s", static_cast<int>(uPwd.pw_uid), _filename.c_str());
    } else {
        FCL_LOG(7, "User = [%d] is not the owner for the file %s = [%d]", static_cast<int>(uPwd.pw_uid),
                _filename.c_str(), static_cast<int>(_uid));
    }
    if (!extended || owner) {
        FCL_LOG(7, "ACL passthrough condition met : Restore this file : %s", _filename.c_str());
        return true;
    }
    FCL_LOG(4, "ACL passthrough condition not met : Don't restore this file : %s", _filename.c_str());
    _ownerFactory->setErrCode(fclitem::kRefusedByAclPassthrough);
    return false;
}

void fclobjects::requestDefaultStripe(FsRestoreUnixObject& item) {
    const uint32_t type = item._mode & S_IFMT;
    if (item._ownerFactory->getJob() == nullptr || !item._onLustre || !item._setLustreStripe ||
        item._lustreStripeDone || type == S_IFDIR || type == S_IFLNK) {
        return;
    }
    if (wzlustre::setDefaultStripe(item._handle) == 0) {
        FCL_LOG(6, "ioctl setstripe for %s successful", item._filename.c_str());
    } else {
        const int err = errno;
        FCL_LOG(err == EEXIST ? 6 : 0, "ioctl setstripe for %s failed due to %d", item._filename.c_str(), err);
    }
    item._lustreStripeDone = true;
}
