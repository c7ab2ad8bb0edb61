#pragma once
// Messages that travel as XML text. Unserialising checks that the text is one well-formed XML document and keeps it;
// the accessors then read its values by path: element names joined by '.', the last name an attribute or a child
// element of the one before ("destination.appType" reads <destination appType="29"/> or
// <destination><appType>29</appType></destination>). A message type may also name the root
// attribute behind each of its field ids.
#include <map>
#include <memory>
#include <string>

#include <boost/property_tree/ptree_fwd.hpp>

class CNMessageBase {
public:
    CNMessageBase(int messageSet, int messageId) : m_messageSet(messageSet), m_messageId(messageId) {}
    virtual ~CNMessageBase() = default;

    // 0 when `xml` is one well-formed XML document with a root element; non-zero otherwise (nothing is kept then).
    int unserialize(const std::string& xml);

    int getMessageSet() const { return m_messageSet; }
    int getMessageId() const { return m_messageId; }

    // The name of the kept document's root element; "" before a successful unserialize.
    std::string rootName() const;
    // True when the root has an element or attribute at `path`.
    bool isSet(const std::string& path) const;
    // The value at `path` as a signed 64-bit number (decimal, or hex after "0x"); 0 when absent or not a number.
    long long getint64(const std::string& path) const;
    // The value at `path` as a boolean ("true", "yes", "1"; anything else false); false when absent.
    bool getBool(const std::string& path) const;
    // The text of field `fieldId`: the root attribute the message type names for it, "" when the type names none or
    // the document lacks it. The field's position, kind and message set matter to the maker's library only.
    std::string getstring(int position, int kind, unsigned long setId, unsigned long fieldId) const;

protected:
    // The text at `path`, or null.
    const std::string* valueAt(const std::string& path) const;
    void nameField(unsigned long fieldId, const std::string& attribute) { m_fieldNames[fieldId] = attribute; }

private:
    int m_messageSet;
    int m_messageId;
    std::shared_ptr<const boost::property_tree::ptree> m_document;
    std::map<unsigned long, std::string> m_fieldNames;
};

namespace Vornak {

// The mount information of a live block-level restore.
class BlockLevelMountInfo : public CNMessageBase {
public:
    BlockLevelMountInfo(int messageSet, int messageId) : CNMessageBase(messageSet, messageId) {}
};

}  // namespace Vornak
