#pragma once
// The message catalogue: the text of each message identifier that results lines and events show. Deterministic: the
// same identifier always gives the same text; an identifier the catalogue does not know gives
// "Message 0x<identifier in eight hex digits>".
#include <string>

namespace wzplatform {

std::string catalogueText(int messageId);

}  // namespace wzplatform
