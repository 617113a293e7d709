#include "zalPropertyPage.h"
#include "zalStrings.h"

#include "DbDatabase.h"
#include "PropBase.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>
#include <cmath>

namespace {

QString attr(const OdPropContext::Node& node, const wchar_t* name, const QString& defaultValue = QString())
{
    return node.hasAttribute(name) ? zalStrings::toQString(node.attribute(name)) : defaultValue;
}

bool isTrue(const QString& text)
{
    return text.compare("true", Qt::CaseInsensitive) == 0 || text == "1";
}

bool flag(const OdPropContext::Node& node, const wchar_t* name, bool defaultValue)
{
    return node.hasAttribute(name) ? isTrue(zalStrings::toQString(node.attribute(name))) : defaultValue;
}

double number(const OdPropContext::Node& node, const wchar_t* name, double defaultValue)
{
    bool ok = false;
    double value = attr(node, name).toDouble(&ok);
    return ok ? value : defaultValue;
}

// Digits after the decimal point that a number written as text needs.
int decimalsOf(const QString& text)
{
    int point = text.indexOf('.');
    if (point < 0 || text.contains('e', Qt::CaseInsensitive)) return 0;
    return text.size() - point - 1;
}

// The label a property shows: its visible name, else its name.
QString labelOf(const OdPropContext::Node& node)
{
    return attr(node, L"VisibleName", zalStrings::toQString(node.name()));
}

QColor fromColorRef(unsigned value)
{
    return QColor(int(value & 0xff), int((value >> 8) & 0xff), int((value >> 16) & 0xff));
}

unsigned toColorRef(const QColor& color)
{
    return unsigned(color.red()) | (unsigned(color.green()) << 8) | (unsigned(color.blue()) << 16);
}

void showColor(QPushButton* button, unsigned value)
{
    QColor color = fromColorRef(value);
    button->setText(color.name());
    button->setStyleSheet(QString("background-color: %1").arg(color.name()));
    button->setProperty("colorref", value);
}

} // namespace

zalPropertyPage::zalPropertyPage(QWidget* parent) : QWidget(parent)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
}

zalPropertyPage::~zalPropertyPage() = default;

void zalPropertyPage::attach(OdPropSource* source, const QString& title, const QString& subtitle,
                             const QString& attributes, OdRxObject* database)
{
    m_source = source;
    m_database = database;
    m_title = title;
    Q_UNUSED(subtitle);
    m_scrollable = false;
    for (const QString& pair : attributes.split(QRegularExpression("[\\s;]+"), Qt::SkipEmptyParts)) {
        QString name = pair.section('=', 0, 0).trimmed();
        QString value = pair.section('=', 1).trimmed().remove('"');
        if (name.compare("scrollable", Qt::CaseInsensitive) == 0) m_scrollable = isTrue(value);
    }
    build();
}

void zalPropertyPage::detach()
{
    m_source = nullptr;
    m_database = nullptr;
    build();
}

void zalPropertyPage::reload()
{
    build();
}

QWidget* zalPropertyPage::editor(const QString& path) const
{
    return m_editors.value(path).data();
}

void zalPropertyPage::build()
{
    int scrollPosition = m_scroll ? m_scroll->verticalScrollBar()->value() : 0;
    // An edit may rebuild the page from inside a signal of one of its editors: the old widgets go
    // later, once that signal has returned.
    if (m_content) {
        QWidget* old = m_scroll ? static_cast<QWidget*>(m_scroll) : m_content;
        old->hide();
        old->setParent(nullptr);
        old->deleteLater();
    }
    m_content = nullptr;
    m_scroll = nullptr;
    m_editors.clear();
    m_order.clear();
    ++m_builds;

    if (m_source.isNull()) {
        emit reloaded();
        return;
    }

    m_content = new QWidget;
    m_content->setObjectName("content");
    auto* column = new QVBoxLayout(m_content);
    column->setContentsMargins(2, 2, 2, 2);
    if (!m_title.isEmpty()) {
        auto* title = new QLabel(QString("<b>%1</b>").arg(m_title.toHtmlEscaped()));
        title->setObjectName("title");
        column->addWidget(title);
    }
    auto* body = new QWidget;
    body->setLayout(new QFormLayout);
    column->addWidget(body);
    column->addStretch(1);

    // Sources that describe themselves in a context are read directly; others through their text.
    OdPropContext context(OdString(), OdString(L"Property"), m_database);
    bool described = false;
    if (OdPropBase::desc() && m_source->isKindOf(OdPropBase::desc())) {
        described = static_cast<OdPropBase*>(m_source.get())->getPropertyValues(context);
    } else {
        OdString text;
        OdString error;
        described = m_source->getPropertyValues(text) && context.parse(text, &error);
        if (!error.isEmpty()) qWarning("Property page: unreadable description: %s", error.toUtf8().c_str());
    }
    if (described) buildChildren(context.rootNode(), body, false);

    if (m_scrollable) {
        m_scroll = new QScrollArea;
        m_scroll->setObjectName("scroll");
        m_scroll->setWidgetResizable(true);
        m_scroll->setFrameShape(QFrame::NoFrame);
        m_scroll->setWidget(m_content);
        m_layout->addWidget(m_scroll);
        m_scroll->verticalScrollBar()->setValue(scrollPosition);
    } else {
        m_layout->addWidget(m_content);
    }
    // Shown now rather than at the layout's next turn, so the page is complete when build returns.
    (m_scroll ? static_cast<QWidget*>(m_scroll) : m_content)->show();
    emit reloaded();
}

void zalPropertyPage::buildChildren(const OdPropContext::Node& node, QWidget* body, bool horizontal)
{
    for (const auto& child : node.children) {
        if (flag(*child, L"Hidden", false)) continue;
        if (child->isCategory())
            addCategory(*child, body, horizontal);
        else if (child->isProperty())
            addProperty(*child, body, horizontal);
    }
}

void zalPropertyPage::addCategory(const OdPropContext::Node& node, QWidget* body, bool horizontal)
{
    const QString path = zalStrings::toQString(node.path());
    const bool row = attr(node, L"layout").compare("horizontal", Qt::CaseInsensitive) == 0;
    const QString label = attr(node, L"VisibleName");

    auto* group = new QWidget;
    group->setObjectName(path);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(0, 0, 0, 0);
    groupLayout->setSpacing(0);

    auto* inner = new QWidget;
    if (row) {
        auto* line = new QHBoxLayout(inner);
        line->setContentsMargins(0, 0, 0, 0);
        if (!label.isEmpty()) line->addWidget(new QLabel(label));
    } else {
        auto* form = new QFormLayout(inner);
        form->setContentsMargins(row ? 0 : 12, 0, 0, 0);
    }

    // Rows are drawn open; only groups with a name to click on fold.
    const bool foldable = !row && flag(node, L"expandable", true);
    if (foldable) {
        auto* header = new QToolButton;
        header->setObjectName(path + ":header");
        header->setText(label.isEmpty() ? zalStrings::toQString(node.name()) : label);
        header->setCheckable(true);
        header->setAutoRaise(true);
        header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        const bool open = !m_collapsed.contains(path);
        header->setChecked(open);
        header->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        inner->setVisible(open);
        connect(header, &QToolButton::toggled, this, [this, header, inner, path](bool checked) {
            header->setArrowType(checked ? Qt::DownArrow : Qt::RightArrow);
            inner->setVisible(checked);
            if (checked)
                m_collapsed.remove(path);
            else
                m_collapsed.insert(path);
        });
        groupLayout->addWidget(header);
        m_editors.insert(path + ":header", header);
    } else if (!row && !label.isEmpty()) {
        groupLayout->addWidget(new QLabel(QString("<b>%1</b>").arg(label.toHtmlEscaped())));
    }
    groupLayout->addWidget(inner);
    m_editors.insert(path, group);

    buildChildren(node, inner, row);
    if (row) static_cast<QHBoxLayout*>(inner->layout())->addStretch(1);

    if (horizontal)
        body->layout()->addWidget(group);
    else
        static_cast<QFormLayout*>(body->layout())->addRow(group);
}

void zalPropertyPage::addProperty(const OdPropContext::Node& node, QWidget* body, bool horizontal)
{
    const QString path = zalStrings::toQString(node.path());
    const QString type = zalStrings::toQString(node.type()).toLower();
    QWidget* editor = createEditor(node, path);
    editor->setObjectName(path);
    const bool enabled = flag(node, L"Enabled", true);
    editor->setEnabled(enabled);
    if (node.hasAttribute(L"minwidth")) editor->setMinimumWidth(int(number(node, L"minwidth", 0)));
    if (node.hasAttribute(L"maxwidth"))
        editor->setMaximumWidth(int(number(node, L"maxwidth", QWIDGETSIZE_MAX)));
    m_editors.insert(path, editor);
    m_order << path;
    describe(node, editor);

    // Labels and buttons carry their own text; the others get their visible name beside them.
    const bool selfLabelled = type == "label" || type == "htmllabel" || type == "button";
    QLabel* label = nullptr;
    if (!selfLabelled) {
        label = new QLabel(labelOf(node));
        label->setEnabled(enabled);
        label->setBuddy(editor);
    }
    const QString alignment = attr(node, L"alignment").toLower();
    if (auto* text = qobject_cast<QLabel*>(editor)) {
        if (alignment == "right") text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (alignment == "center") text->setAlignment(Qt::AlignCenter);
    }
    if (alignment == "fill")
        editor->setSizePolicy(QSizePolicy::Expanding, editor->sizePolicy().verticalPolicy());

    if (horizontal) {
        auto* line = static_cast<QHBoxLayout*>(body->layout());
        if (label) line->addWidget(label);
        line->addWidget(editor);
        if (flag(node, L"add_spacer", false)) line->addStretch(1);
    } else {
        auto* form = static_cast<QFormLayout*>(body->layout());
        if (label)
            form->addRow(label, editor);
        else
            form->addRow(editor);
    }
}

QWidget* zalPropertyPage::createEditor(const OdPropContext::Node& node, const QString& path)
{
    const QString type = zalStrings::toQString(node.type()).toLower();
    const QString value = zalStrings::toQString(node.value());

    if (type == "int") {
        auto* spin = new QSpinBox;
        double low = number(node, L"Min", INT_MIN), high = number(node, L"Max", INT_MAX);
        spin->setRange(int(qBound<double>(INT_MIN, low, INT_MAX)),
                       int(qBound<double>(INT_MIN, high, INT_MAX)));
        spin->setSingleStep(qMax(1, int(std::lround(number(node, L"step", 1)))));
        spin->setValue(int(std::lround(value.toDouble())));
        // Typing commits on Enter or when the field is left, not on every key.
        spin->setKeyboardTracking(false);
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this,
                [this, path](int v) { commit(path, QString::number(v)); });
        return spin;
    }
    if (type == "double") {
        auto* spin = new QDoubleSpinBox;
        int decimals = node.hasAttribute(L"decimals")
                           ? int(number(node, L"decimals", 2))
                           : qBound(2, qMax(decimalsOf(value), decimalsOf(attr(node, L"step"))), 6);
        spin->setDecimals(qBound(0, decimals, 10));
        spin->setRange(number(node, L"Min", -1e15), number(node, L"Max", 1e15));
        spin->setSingleStep(number(node, L"step", 1));
        spin->setValue(value.toDouble());
        spin->setKeyboardTracking(false);
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [this, path](double v) { commit(path, QString::number(v, 'g', 15)); });
        return spin;
    }
    if (type == "bool") {
        auto* check = new QCheckBox;
        check->setChecked(isTrue(value));
        connect(check, &QCheckBox::toggled, this, [this, path](bool on) {
            commit(path, on ? QStringLiteral("true") : QStringLiteral("false"));
        });
        return check;
    }
    if (type == "combo") {
        auto* combo = new QComboBox;
        OdArray<OdString> values, second;
        if (m_source->getPropertyPossibleValues(zalStrings::toOdString(path), values, second))
            for (const OdString& entry : values)
                combo->addItem(zalStrings::toQString(entry));
        // A value the list does not offer is still shown as the current one.
        int index = combo->findText(value);
        if (index < 0 && !value.isEmpty()) {
            combo->insertItem(0, value);
            index = 0;
        }
        combo->setCurrentIndex(index);
        connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this, path, combo](int i) {
            if (i >= 0) commit(path, combo->itemText(i));
        });
        return combo;
    }
    if (type == "label" || type == "htmllabel") {
        auto* label = new QLabel(value.isEmpty() ? attr(node, L"VisibleName") : value);
        label->setTextFormat(type == "htmllabel" ? Qt::RichText : Qt::PlainText);
        return label;
    }
    if (type == "button") {
        auto* button = new QPushButton(labelOf(node));
        connect(button, &QPushButton::clicked, this, [this, path, value] { commit(path, value); });
        return button;
    }
    if (type == "colorref") {
        auto* button = new QPushButton;
        showColor(button, unsigned(value.toDouble()));
        connect(button, &QPushButton::clicked, this, [this, path, button] {
            auto* dialog = new QColorDialog(fromColorRef(button->property("colorref").toUInt()), this);
            dialog->setObjectName(path + ":dialog");
            dialog->setOption(QColorDialog::DontUseNativeDialog);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            connect(dialog, &QColorDialog::colorSelected, this,
                    [this, path](const QColor& color) { commit(path, QString::number(toColorRef(color))); });
            dialog->open();
        });
        return button;
    }

    // "string" and every type drawn as text ("angle", "distance", ...).
    auto* line = new QLineEdit(value);
    if (node.hasAttribute(L"notifymode") && int(number(node, L"notifymode", 1)) == 0) {
        // Only Enter sends: leaving the field keeps the text unsent.
        connect(line, &QLineEdit::returnPressed, this, [this, path, line] { commit(path, line->text()); });
    } else {
        connect(line, &QLineEdit::editingFinished, this, [this, path, line] {
            if (line->isModified()) {
                line->setModified(false);
                commit(path, line->text());
            }
        });
    }
    return line;
}

void zalPropertyPage::describe(const OdPropContext::Node& node, QWidget* editor)
{
    // Spin and combo boxes take the wheel only once the user chose them: scrolling the page past
    // them must not change a value.
    if (qobject_cast<QAbstractSpinBox*>(editor) || qobject_cast<QComboBox*>(editor)) {
        editor->setFocusPolicy(Qt::StrongFocus);
        editor->installEventFilter(this);
    }
    const QString unit = attr(node, L"unit");
    if (!unit.isEmpty()) {
        if (auto* spin = qobject_cast<QSpinBox*>(editor)) spin->setSuffix(QLatin1Char(' ') + unit);
        if (auto* spin = qobject_cast<QDoubleSpinBox*>(editor)) spin->setSuffix(QLatin1Char(' ') + unit);
    }
    QStringList tip;
    const QString what = attr(node, L"Description");
    tip << (what.isEmpty() ? labelOf(node) : what);
    if (auto* spin = qobject_cast<QSpinBox*>(editor))
        tip << tr("From %1 to %2%3")
                   .arg(spin->minimum())
                   .arg(spin->maximum())
                   .arg(unit.isEmpty() ? QString() : QLatin1Char(' ') + unit);
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(editor))
        tip << tr("From %1 to %2%3, in steps of %4")
                   .arg(spin->minimum(), 0, 'g', 10)
                   .arg(spin->maximum(), 0, 'g', 10)
                   .arg(unit.isEmpty() ? QString() : QLatin1Char(' ') + unit)
                   .arg(spin->singleStep(), 0, 'g', 10);
    if (auto* combo = qobject_cast<QComboBox*>(editor)) tip << tr("%n choice(s)", nullptr, combo->count());
    if (editor->toolTip().isEmpty()) editor->setToolTip(tip.join(QLatin1Char('\n')));
}

bool zalPropertyPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && !widget->hasFocus()) {
            // Ignored, so the scroll area under it scrolls instead.
            event->ignore();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void zalPropertyPage::commit(const QString& path, const QString& value)
{
    if (m_source.isNull()) return;
    // The source may detach or rebuild the page while it handles the edit.
    OdPropSourcePtr source = m_source;
    // An edit is an undo step of its own: undo takes it back alone, not with the command before it.
    if (auto* db = dynamic_cast<OdDbDatabase*>(m_database)) db->startUndoRecord();
    OdPropSource::Action_t action = OdPropSource::kNoAction;
    bool accepted =
        source->setPropertyValue(zalStrings::toOdString(path), zalStrings::toOdString(value), action);
    ++m_edits;
    emit edited(path, value, accepted);
    if (action == OdPropSource::kReloadPage && m_source.get() == source.get()) build();
}
