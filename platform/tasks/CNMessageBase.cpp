#include "platform/tasks/CNMessageBase.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

namespace {

using boost::property_tree::ptree;

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

bool isElement(const std::string& name) {
    return name != "<xmlcomment>" && name != "<xmlattr>";
}

// The child element `name` of `node`, or null.
const ptree* childElement(const ptree& node, const std::string& name) {
    for (const auto& child : node) {
        if (child.first == name) {
            return &child.second;
        }
    }
    return nullptr;
}

}  // namespace

int CNMessageBase::unserialize(const std::string& xml) {
    if (!nestingWithinLimit(xml)) {
        return 1;
    }
    auto tree = std::make_shared<ptree>();
    try {
        std::istringstream in(xml);
        boost::property_tree::read_xml(in, *tree, boost::property_tree::xml_parser::trim_whitespace);
    } catch (const boost::property_tree::ptree_error&) {
        return 1;
    }
    // Only elements become children (comments and text alone are no document), and a document has one root.
    int roots = 0;
    for (const auto& child : *tree) {
        roots += isElement(child.first) ? 1 : 0;
    }
    if (roots != 1) {
        return 1;
    }
    m_document = std::move(tree);
    return 0;
}

std::string CNMessageBase::rootName() const {
    if (!m_document) {
        return std::string();
    }
    for (const auto& child : *m_document) {
        if (isElement(child.first)) {
            return child.first;
        }
    }
    return std::string();
}

const std::string* CNMessageBase::valueAt(const std::string& path) const {
    if (!m_document || path.empty()) {
        return nullptr;
    }
    const ptree* node = childElement(*m_document, rootName());
    size_t start = 0;
    while (node != nullptr) {
        size_t dot = path.find('.', start);
        const std::string name = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (name.empty()) {
            return nullptr;
        }
        const ptree* next = childElement(*node, name);
        if (next == nullptr && dot == std::string::npos) {
            if (const ptree* attributes = childElement(*node, "<xmlattr>")) {
                next = childElement(*attributes, name);
            }
        }
        if (dot == std::string::npos) {
            return next != nullptr ? &next->data() : nullptr;
        }
        node = next;
        start = dot + 1;
    }
    return nullptr;
}

bool CNMessageBase::isSet(const std::string& path) const {
    return valueAt(path) != nullptr;
}

long long CNMessageBase::getint64(const std::string& path) const {
    const std::string* text = valueAt(path);
    if (text == nullptr || text->empty()) {
        return 0;
    }
    errno = 0;
    char* end = nullptr;
    long long value = strtoll(text->c_str(), &end, 0);
    return errno == 0 && end != nullptr && *end == '\0' ? value : 0;
}

bool CNMessageBase::getBool(const std::string& path) const {
    const std::string* text = valueAt(path);
    return text != nullptr && (*text == "true" || *text == "yes" || *text == "1");
}

std::string CNMessageBase::getstring(int, int, unsigned long, unsigned long fieldId) const {
    auto name = m_fieldNames.find(fieldId);
    if (name == m_fieldNames.end() || !m_document) {
        return std::string();
    }
    const ptree* root = childElement(*m_document, rootName());
    const ptree* attributes = root != nullptr ? childElement(*root, "<xmlattr>") : nullptr;
    const ptree* value = attributes != nullptr ? childElement(*attributes, name->second) : nullptr;
    return value != nullptr ? value->data() : std::string();
}
