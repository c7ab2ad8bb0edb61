#pragma once
// Messages that travel as XML text. Unserialising checks that the text is one well-formed XML document and keeps the
// attributes of its root element; a message type names the attribute behind each of its field ids.
#include <map>
#include <string>

class CNMessageBase {
public:
    CNMessageBase(int messageSet, int messageId) : m_messageSet(messageSet), m_messageId(messageId) {}
    virtual ~CNMessageBase() = default;

    // 0 when `xml` is one well-formed XML document with a root element; non-zero otherwise.
    int unserialize(const std::string& xml);

    int getMessageSet() const { return m_messageSet; }
    int getMessageId() const { return m_messageId; }

    // The text of field `fieldId`: the root attribute the message type names for it, "" when the type names none or
    // the document lacks it. The field's position, kind and message set matter to the maker's library only.
    std::string getstring(int position, int kind, unsigned long setId, unsigned long fieldId) const;

protected:
    void nameField(unsigned long fieldId, const std::string& attribute) { m_fieldNames[fieldId] = attribute; }

private:
    int m_messageSet;
    int m_messageId;
    std::map<unsigned long, std::string> m_fieldNames;
    std::map<std::string, std::string> m_attributes;
};

namespace Vornak {

// The mount information of a live block-level restore.
class BlockLevelMountInfo : public CNMessageBase {
public:
    BlockLevelMountInfo(int messageSet, int messageId) : CNMessageBase(messageSet, messageId) {}
};

}  // namespace Vornak
