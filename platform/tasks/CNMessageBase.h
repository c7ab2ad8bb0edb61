#pragma once
// Messages that travel as XML text. Unserialising checks that the text is one well-formed XML document; the
// content itself is not kept by this stand-in.
#include <string>

class CNMessageBase {
public:
    CNMessageBase(int messageSet, int messageId) : m_messageSet(messageSet), m_messageId(messageId) {}
    virtual ~CNMessageBase() = default;

    // 0 when `xml` is one well-formed XML document with a root element; non-zero otherwise.
    int unserialize(const std::string& xml);

    int getMessageSet() const { return m_messageSet; }
    int getMessageId() const { return m_messageId; }

private:
    int m_messageSet;
    int m_messageId;
};

namespace Vornak {

// The mount information of a live block-level restore.
class BlockLevelMountInfo : public CNMessageBase {
public:
    BlockLevelMountInfo(int messageSet, int messageId) : CNMessageBase(messageSet, messageId) {}
};

}  // namespace Vornak
