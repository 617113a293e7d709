#include "PropContext.h"

#include <charconv>
#include <cmath>

namespace {

const OdString kCategory(L"category");
const OdString kProperty(L"property");

bool sameName(const OdString& a, const OdString& b)
{
    return a.iCompare(b) == 0;
}

void escapeInto(std::wstring& out, const std::wstring& text)
{
    for (wchar_t c : text) {
        switch (c) {
        case L'&':
            out += L"&amp;";
            break;
        case L'<':
            out += L"&lt;";
            break;
        case L'>':
            out += L"&gt;";
            break;
        case L'"':
            out += L"&quot;";
            break;
        case L'\n':
            out += L"&#10;";
            break;
        default:
            out += c;
        }
    }
}

void writeNode(std::wstring& out, const OdPropContext::Node& node, int depth)
{
    out.append(size_t(depth) * 2, L' ');
    out += L'<';
    out += node.tag.toStdWString();
    for (const auto& attribute : node.attributes) {
        out += L' ';
        out += attribute.first.toStdWString();
        out += L"=\"";
        escapeInto(out, attribute.second.toStdWString());
        out += L'"';
    }
    if (node.children.empty()) {
        out += L"/>\n";
        return;
    }
    out += L">\n";
    for (const auto& child : node.children)
        writeNode(out, *child, depth + 1);
    out.append(size_t(depth) * 2, L' ');
    out += L"</";
    out += node.tag.toStdWString();
    out += L">\n";
}

const OdPropContext::Node* findIn(const OdPropContext::Node& node, const OdString& path)
{
    for (const auto& child : node.children) {
        if (child->path() == path) return child.get();
        if (const OdPropContext::Node* found = findIn(*child, path)) return found;
    }
    return nullptr;
}

} // namespace

bool OdPropContext::Node::isCategory() const
{
    return tag == kCategory;
}

bool OdPropContext::Node::isProperty() const
{
    return tag == kProperty;
}

bool OdPropContext::Node::hasAttribute(const OdString& name) const
{
    for (const auto& attribute : attributes)
        if (sameName(attribute.first, name)) return true;
    return false;
}

OdString OdPropContext::Node::attribute(const OdString& name, const OdString& defaultValue) const
{
    for (const auto& attribute : attributes)
        if (sameName(attribute.first, name)) return attribute.second;
    return defaultValue;
}

OdString OdPropContext::Node::path() const
{
    if (!parent) return OdString();
    OdString prefix = parent->parent ? parent->path() : parent->attribute(L"Path");
    return prefix.isEmpty() ? name() : prefix + L"/" + name();
}

OdPropContext::Element OdPropContext::Element::add(const OdString& tag, const OdString& name)
{
    if (!m_node || name.isEmpty()) return Element();
    auto node = std::make_unique<Node>();
    node->tag = tag;
    node->parent = m_node;
    node->attributes.emplace_back(OdString(L"Name"), name);
    m_node->children.push_back(std::move(node));
    return Element(m_node->children.back().get());
}

OdPropContext::Element OdPropContext::Element::addCategory(const OdString& name)
{
    return add(kCategory, name);
}

OdPropContext::Element OdPropContext::Element::addProperty(const OdString& name, const OdString& value,
                                                           const OdString& type)
{
    Element property = add(kProperty, name);
    property.setAttribute(L"Type", type).setAttribute(L"Value", value);
    return property;
}

OdPropContext::Element& OdPropContext::Element::setAttribute(const OdString& name, const OdString& value)
{
    if (!m_node || name.isEmpty()) return *this;
    for (auto& attribute : m_node->attributes) {
        if (sameName(attribute.first, name)) {
            attribute.second = value;
            return *this;
        }
    }
    m_node->attributes.emplace_back(name, value);
    return *this;
}

OdPropContext::Element& OdPropContext::Element::setAttribute(const OdString& name, const OdChar* value)
{
    return setAttribute(name, OdString(value));
}

OdPropContext::Element& OdPropContext::Element::setAttribute(const OdString& name, const char* value)
{
    return setAttribute(name, OdString(value));
}

OdPropContext::Element& OdPropContext::Element::setAttribute(const OdString& name, bool value)
{
    return setAttribute(name, OdString(value ? L"true" : L"false"));
}

OdPropContext::Element& OdPropContext::Element::setAttribute(const OdString& name, int value)
{
    return setAttribute(name, OdString::formatted(L"%d", value));
}

OdPropContext::Element& OdPropContext::Element::setAttribute(const OdString& name, double value)
{
    return setAttribute(name, formatDouble(value));
}

OdPropContext::OdPropContext(const OdString& rootPath, const OdString& rootName, OdRxObject* database,
                             const OdDbObjectId& objectId)
    : m_root(std::make_unique<Node>()), m_rootPath(rootPath), m_database(database), m_objectId(objectId)
{
    m_root->tag = rootName.isEmpty() ? OdString(L"Property") : rootName;
    m_root->attributes.emplace_back(OdString(L"Path"), rootPath);
}

OdPropContext::~OdPropContext() = default;

OdString OdPropContext::text() const
{
    std::wstring out;
    writeNode(out, *m_root, 0);
    return OdString(out);
}

const OdPropContext::Node* OdPropContext::find(const OdString& path) const
{
    return findIn(*m_root, path);
}

OdString OdPropContext::formatDouble(double value)
{
    if (std::isnan(value)) return OdString(L"nan");
    if (std::isinf(value)) return OdString(value < 0 ? L"-inf" : L"inf");
    // Shortest text that reads back to the same value, independent of the process locale.
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
    *result.ptr = '\0';
    return OdString(buffer);
}
