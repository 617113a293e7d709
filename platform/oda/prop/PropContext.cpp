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

// A reader of the element form text() writes: elements with quoted attributes, self-closed or with
// children, entities for the escaped characters. Anything else is an error with its offset.
class TreeReader
{
public:
    explicit TreeReader(const std::wstring& text) : m_text(text) {}

    std::unique_ptr<OdPropContext::Node> read(std::wstring& error)
    {
        skipBlanks();
        std::unique_ptr<OdPropContext::Node> root = element(nullptr);
        if (root) {
            skipBlanks();
            if (m_pos != m_text.size()) fail(L"text after the root element");
        }
        if (!m_error.empty()) {
            error = m_error + L" at offset " + std::to_wstring(m_pos);
            return nullptr;
        }
        return root;
    }

private:
    bool fail(const wchar_t* why)
    {
        if (m_error.empty()) m_error = why;
        return false;
    }
    bool atEnd() const { return m_pos >= m_text.size(); }
    static bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }
    static bool isNameChar(wchar_t c)
    {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
               c == L'_' || c == L'-' || c == L'.' || c == L':';
    }
    void skipBlanks()
    {
        while (!atEnd() && isBlank(m_text[m_pos]))
            ++m_pos;
    }
    bool expect(wchar_t c)
    {
        if (atEnd() || m_text[m_pos] != c) return fail(L"unexpected character");
        ++m_pos;
        return true;
    }
    std::wstring name()
    {
        size_t start = m_pos;
        while (!atEnd() && isNameChar(m_text[m_pos]))
            ++m_pos;
        if (start == m_pos) fail(L"name expected");
        return m_text.substr(start, m_pos - start);
    }
    bool value(std::wstring& out)
    {
        if (!expect(L'"')) return false;
        while (!atEnd() && m_text[m_pos] != L'"') {
            wchar_t c = m_text[m_pos++];
            if (c == L'<') return fail(L"'<' inside a value");
            if (c != L'&') {
                out += c;
                continue;
            }
            size_t end = m_text.find(L';', m_pos);
            if (end == std::wstring::npos || end - m_pos > 8) return fail(L"unterminated entity");
            std::wstring entity = m_text.substr(m_pos, end - m_pos);
            m_pos = end + 1;
            if (entity == L"amp")
                out += L'&';
            else if (entity == L"lt")
                out += L'<';
            else if (entity == L"gt")
                out += L'>';
            else if (entity == L"quot")
                out += L'"';
            else if (entity == L"apos")
                out += L'\'';
            else if (entity.size() > 1 && entity[0] == L'#' &&
                     entity.find_first_not_of(L"0123456789", 1) == std::wstring::npos)
                out += wchar_t(std::stoul(entity.substr(1)));
            else
                return fail(L"unknown entity");
        }
        return expect(L'"');
    }
    std::unique_ptr<OdPropContext::Node> element(OdPropContext::Node* parent)
    {
        if (++m_depth > 256) {
            fail(L"elements nested too deeply");
            return nullptr;
        }
        if (!expect(L'<')) return nullptr;
        auto node = std::make_unique<OdPropContext::Node>();
        node->parent = parent;
        node->tag = OdString(name());
        if (!m_error.empty()) return nullptr;
        for (;;) {
            const size_t before = m_pos;
            skipBlanks();
            if (atEnd()) {
                fail(L"unterminated element");
                return nullptr;
            }
            if (m_text[m_pos] == L'/') {
                ++m_pos;
                if (!expect(L'>')) return nullptr;
                --m_depth;
                return node;
            }
            if (m_text[m_pos] == L'>') {
                ++m_pos;
                break;
            }
            if (before == m_pos) {
                fail(L"blank expected before an attribute");
                return nullptr;
            }
            std::wstring key = name(), text;
            if (!m_error.empty() || !expect(L'=') || !value(text)) return nullptr;
            node->attributes.emplace_back(OdString(key), OdString(text));
        }
        for (;;) {
            skipBlanks();
            if (atEnd()) {
                fail(L"unterminated element");
                return nullptr;
            }
            if (m_text.compare(m_pos, 2, L"</") == 0) {
                m_pos += 2;
                if (name() != node->tag.toStdWString()) {
                    fail(L"closing tag does not match");
                    return nullptr;
                }
                skipBlanks();
                if (!expect(L'>')) return nullptr;
                --m_depth;
                return node;
            }
            std::unique_ptr<OdPropContext::Node> child = element(node.get());
            if (!child) return nullptr;
            node->children.push_back(std::move(child));
        }
    }

    const std::wstring& m_text;
    size_t m_pos = 0;
    int m_depth = 0;
    std::wstring m_error;
};

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

bool OdPropContext::parse(const OdString& text, OdString* error)
{
    std::wstring why;
    std::unique_ptr<Node> root = TreeReader(text.toStdWString()).read(why);
    if (!root) {
        if (error) *error = OdString(why);
        return false;
    }
    m_rootPath = root->attribute(L"Path");
    m_root = std::move(root);
    if (error) error->empty();
    return true;
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
