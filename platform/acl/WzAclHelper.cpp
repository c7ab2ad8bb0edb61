#include "platform/acl/WzAclHelper.h"

namespace WzACL {

// Linux with libacl supports access-control lists.
std::atomic<bool> Helper::s_aclSupported(true);
std::atomic<unsigned int> Helper::s_options(0);

}  // namespace WzACL
