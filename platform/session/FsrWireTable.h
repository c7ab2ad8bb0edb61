#pragma once
// The one table of the protocol: for every code its name and the layout of its record.
#include <cstddef>

#include "platform/session/XdrLayout.h"

namespace wzsession {

struct WireCode {
    unsigned long code;
    const char* name;
    // Null: whatever bytes the sender gives travel as variable opaque data (no record, or a raw buffer).
    const RecordLayout* record;
};

// The entry of `code`, or null for a code the protocol does not name.
const WireCode* findWireCode(unsigned long code);
// Every named code, in ascending order.
const WireCode* wireCodes(size_t* count);

}  // namespace wzsession
