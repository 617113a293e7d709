// The description a property source writes of its page: nested categories and properties, each
// carrying attributes as name="value" pairs. The services read it back as a tree or as text.
#pragma once

#include "OdPropExport.h"

#include "DbObjectId.h"
#include "OdString.h"

#include <memory>
#include <utility>
#include <vector>

class ODPROP_EXPORT OdPropContext
{
public:
    // One written element. A property keeps its name, type and value as the attributes "Name",
    // "Type" and "Value"; a category its name as "Name".
    struct ODPROP_EXPORT Node
    {
        OdString tag;
        std::vector<std::pair<OdString, OdString>> attributes;
        std::vector<std::unique_ptr<Node>> children;
        Node* parent = nullptr;

        bool isCategory() const;
        bool isProperty() const;
        OdString name() const { return attribute(L"Name"); }
        OdString type() const { return attribute(L"Type"); }
        OdString value() const { return attribute(L"Value"); }
        // Attribute names compare without regard to case ("Step" and "step" are one attribute).
        bool hasAttribute(const OdString& name) const;
        OdString attribute(const OdString& name, const OdString& defaultValue = OdString()) const;
        // The path an edit of this element is reported under: the root path, then the names of the
        // enclosing categories and this element's, separated by "/".
        OdString path() const;
    };

    // A handle to a written element through which children and attributes are added. A null handle
    // (of a failed write) ignores everything.
    class ODPROP_EXPORT Element
    {
    public:
        Element() = default;
        explicit Element(Node* node) : m_node(node) {}

        Element addCategory(const OdString& name);
        Element addProperty(const OdString& name, const OdString& value, const OdString& type);

        // Replaces an attribute of the same name. Booleans are written "true"/"false".
        Element& setAttribute(const OdString& name, const OdString& value);
        Element& setAttribute(const OdString& name, const OdChar* value);
        Element& setAttribute(const OdString& name, const char* value);
        Element& setAttribute(const OdString& name, bool value);
        Element& setAttribute(const OdString& name, int value);
        Element& setAttribute(const OdString& name, double value);

        bool isNull() const { return m_node == nullptr; }
        Node* node() const { return m_node; }

    private:
        Element add(const OdString& tag, const OdString& name);
        Node* m_node = nullptr;
    };

    // rootPath prefixes every path; database and object are what the page shows (may be null).
    explicit OdPropContext(const OdString& rootPath = OdString(),
                           const OdString& rootName = OdString(L"Property"), OdRxObject* database = nullptr,
                           const OdDbObjectId& objectId = OdDbObjectId());
    ~OdPropContext();
    OdPropContext(const OdPropContext&) = delete;
    OdPropContext& operator=(const OdPropContext&) = delete;

    Element root() { return Element(m_root.get()); }
    const Node& rootNode() const { return *m_root; }
    const OdString& rootPath() const { return m_rootPath; }
    OdRxObject* database() const { return m_database; }
    const OdDbObjectId& objectId() const { return m_objectId; }

    // The tree as XML text: every element with its attributes as name="value" pairs separated by
    // blanks, values escaped.
    OdString text() const;
    // Reads a tree written by text() (of any source) in place of this one; the root's "Path" becomes
    // the root path. On malformed text answers false, says why in error and changes nothing.
    bool parse(const OdString& text, OdString* error = nullptr);
    // The first property or category whose path is path; null when none.
    const Node* find(const OdString& path) const;

    // Formats as the context writes numbers: the shortest text that reads back to the same double.
    static OdString formatDouble(double value);

private:
    std::unique_ptr<Node> m_root;
    OdString m_rootPath;
    OdRxObject* m_database;
    OdDbObjectId m_objectId;
};
