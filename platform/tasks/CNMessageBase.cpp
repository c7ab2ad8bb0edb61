#include "platform/tasks/CNMessageBase.h"

#include <sstream>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

namespace {

// The XML parser recurses once per element level; a text from the wire could nest deep enough to exhaust the stack.
const int kMaxNesting = 256;

bool nestingWithinLimit(const std::string& xml) {
    int depth = 0;
    for (size_t i = 0; i + 1 < xml.size(); ++i) {
        if (xml[i] != '<') {
            continue;
        }
        char next = xml[i + 1];
        if (next == '/') {
            --depth;
        } else if (next != '?' && next != '!') {
            size_t end = xml.find('>', i + 1);
            bool selfClosing = end != std::string::npos && xml[end - 1] == '/';
            if (!selfClosing && ++depth > kMaxNesting) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int CNMessageBase::unserialize(const std::string& xml) {
    if (!nestingWithinLimit(xml)) {
        return 1;
    }
    boost::property_tree::ptree tree;
    try {
        std::istringstream in(xml);
        boost::property_tree::read_xml(in, tree);
    } catch (const boost::property_tree::ptree_error&) {
        return 1;
    }
    // Only elements become children (comments and text alone are no document), and a document has one root.
    int roots = 0;
    const boost::property_tree::ptree* root = nullptr;
    for (const auto& child : tree) {
        if (child.first != "<xmlcomment>" && child.first != "<xmlattr>") {
            ++roots;
            root = &child.second;
        }
    }
    if (roots != 1) {
        return 1;
    }
    m_attributes.clear();
    if (auto attributes = root->get_child_optional("<xmlattr>")) {
        for (const auto& attribute : *attributes) {
            m_attributes[attribute.first] = attribute.second.data();
        }
    }
    return 0;
}

std::string CNMessageBase::getstring(int, int, unsigned long, unsigned long fieldId) const {
    auto name = m_fieldNames.find(fieldId);
    if (name == m_fieldNames.end()) {
        return std::string();
    }
    auto value = m_attributes.find(name->second);
    return value != m_attributes.end() ? value->second : std::string();
}
