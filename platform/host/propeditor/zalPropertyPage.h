#pragma once

#include "PropContext.h"
#include "PropSource.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class OdDbDatabase;
class QScrollArea;
class QVBoxLayout;

// One property page: draws what its source describes as Qt editors and hands every edit back to the
// source. Categories are expandable groups, "layout=horizontal" categories one row. The page keeps
// a reference to its source while attached. Owned by the layout's widget it was put in.
class zalPropertyPage : public QWidget
{
    Q_OBJECT
public:
    explicit zalPropertyPage(QWidget* parent = nullptr);
    ~zalPropertyPage() override;

    // attributes: "name=value" pairs separated by blanks ("scrollable=true").
    void attach(OdPropSource* source, const QString& title, const QString& subtitle,
                const QString& attributes, OdRxObject* database);
    void detach();
    OdPropSource* source() const { return m_source.get(); }
    OdRxObject* database() const { return m_database; }
    QString title() const { return m_title; }

    // The drawings an edit may write to when the page has no database of its own.
    void setOpenDrawings(std::function<QList<OdDbDatabase*>()> drawings) { m_drawings = std::move(drawings); }

    // Reads the source again and draws the page anew; open and closed groups stay as they were.
    void reload();

    // The editor of a property (or the header button of a category) by path; null when not shown.
    QWidget* editor(const QString& path) const;
    // Paths of the properties shown, in page order.
    QStringList propertyPaths() const { return m_order; }
    // How many times the page was drawn; how many edits went to the source.
    int buildCount() const { return m_builds; }
    int editCount() const { return m_edits; }

signals:
    // An edit reached the source; accepted is the source's answer.
    void edited(const QString& path, const QString& value, bool accepted);
    void reloaded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    // Tooltip (what the field is, its range and unit), unit suffix and wheel behaviour of an editor.
    void describe(const OdPropContext::Node& node, QWidget* editor);
    void buildChildren(const OdPropContext::Node& node, QWidget* body, bool horizontal);
    void addCategory(const OdPropContext::Node& node, QWidget* body, bool horizontal);
    void addProperty(const OdPropContext::Node& node, QWidget* body, bool horizontal);
    QWidget* createEditor(const OdPropContext::Node& node, const QString& path);
    void commit(const QString& path, const QString& value);

    OdPropSourcePtr m_source;
    OdRxObject* m_database = nullptr;
    std::function<QList<OdDbDatabase*>()> m_drawings;
    QString m_title;
    bool m_scrollable = false;
    QVBoxLayout* m_layout = nullptr;
    QWidget* m_content = nullptr;
    QScrollArea* m_scroll = nullptr;
    QHash<QString, QPointer<QWidget>> m_editors;
    QStringList m_order;
    QSet<QString> m_collapsed;
    int m_builds = 0;
    int m_edits = 0;
};
