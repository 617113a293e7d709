#include "zalHostUserIO.h"

#include "zalHostConsole.h"
#include "zalStrings.h"

#include <QStringList>

namespace {

QStringList keywordList(const OdString& keywords)
{
    return zalStrings::toQString(keywords).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Index of the keyword the answer names: the whole keyword or an unambiguous beginning of it.
int keywordIndex(const QStringList& keywords, const QString& answer)
{
    if (answer.isEmpty()) return -1;
    int found = -1;
    for (int i = 0; i < keywords.size(); ++i) {
        if (keywords.at(i).compare(answer, Qt::CaseInsensitive) == 0) return i;
        if (keywords.at(i).startsWith(answer, Qt::CaseInsensitive)) found = found == -1 ? i : -2;
    }
    return found >= 0 ? found : -1;
}

bool parsePoint(const QString& text, OdGePoint3d& point)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3) return false;
    double values[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[i] = parts.at(i).trimmed().toDouble(&ok);
        if (!ok) return false;
    }
    point = OdGePoint3d(values[0], values[1], values[2]);
    return true;
}

} // namespace

QString zalHostUserIO::answer(const OdString& prompt, const OdString& keywords, int kind)
{
    QString text;
    const QStringList list = keywordList(keywords);
    if (!m_console->takeAnswer(zalStrings::toQString(prompt), text, zalHostConsole::PromptKind(kind), list))
        throw OdEdCancel();
    const int index = keywordIndex(list, text.trimmed());
    if (index >= 0) throw OdEdKeyword(index, zalStrings::toOdString(list.at(index)));
    return text;
}

OdString zalHostUserIO::getString(const OdString& prompt, int options, const OdString& defaultValue,
                                  const OdString& keywords)
{
    for (;;) {
        const QString text = answer(prompt, keywords);
        if (!text.isEmpty()) return zalStrings::toOdString(text);
        if (!(options & OdEd::kGstNoEmpty) || !defaultValue.isEmpty()) return defaultValue;
        m_console->write(QStringLiteral("Requires a value."));
    }
}

template <class T, class Parse>
T zalHostUserIO::askNumber(const OdString& prompt, int options, T defaultValue, const OdString& keywords,
                           Parse parse, const QString& requirement)
{
    for (;;) {
        const QString text = answer(prompt, keywords).trimmed();
        if (text.isEmpty()) return defaultValue;
        bool ok = false;
        const T value = parse(text, &ok);
        if (!ok)
            m_console->write(requirement);
        else if ((options & OdEd::kInpNonZero) && value == T(0))
            m_console->write(QStringLiteral("Value must not be zero."));
        else if ((options & OdEd::kInpNonNeg) && value < T(0))
            m_console->write(QStringLiteral("Value must not be negative."));
        else
            return value;
    }
}

int zalHostUserIO::getInt(const OdString& prompt, int options, int defaultValue, const OdString& keywords)
{
    return askNumber(
        prompt, options, defaultValue, keywords, [](const QString& text, bool* ok) { return text.toInt(ok); },
        QStringLiteral("Requires an integer value."));
}

double zalHostUserIO::getReal(const OdString& prompt, int options, double defaultValue,
                              const OdString& keywords)
{
    return askNumber(
        prompt, options, defaultValue, keywords,
        [](const QString& text, bool* ok) { return text.toDouble(ok); },
        QStringLiteral("Requires a real value."));
}

OdGePoint3d zalHostUserIO::getPoint(const OdString& prompt, int, const OdGePoint3d* defaultValue,
                                    const OdString& keywords, OdEdPointTracker* tracker)
{
    OdGsView* view = m_console->trackerView();
    if (tracker && view) tracker->addDrawables(view);
    m_console->setActiveTracker(tracker);
    // The tracker's drawables leave the view however the prompt ends.
    struct Cleanup
    {
        zalHostConsole* console;
        OdEdPointTracker* tracker;
        OdGsView* view;
        ~Cleanup()
        {
            console->setActiveTracker(nullptr);
            if (tracker && view) tracker->removeDrawables(view);
        }
    } cleanup{m_console, tracker, view};

    for (;;) {
        const QString text = answer(prompt, keywords, zalHostConsole::PointPrompt).trimmed();
        OdGePoint3d point;
        if (text.isEmpty() && defaultValue)
            point = *defaultValue;
        else if (!parsePoint(text, point)) {
            m_console->write(QStringLiteral("Requires a point (x,y or x,y,z)."));
            continue;
        }
        if (tracker) tracker->setValue(point);
        return point;
    }
}

int zalHostUserIO::getKeyword(const OdString& prompt, const OdString& keywords, int defaultValue, int)
{
    const QStringList list = keywordList(keywords);
    for (;;) {
        QString text;
        if (!m_console->takeAnswer(zalStrings::toQString(prompt), text, zalHostConsole::KeywordPrompt, list))
            throw OdEdCancel();
        text = text.trimmed();
        if (text.isEmpty() && defaultValue >= 0) return defaultValue;
        const int index = keywordIndex(list, text);
        if (index >= 0) return index;
        m_console->write(
            QStringLiteral("Invalid option keyword; one of: %1.").arg(list.join(QStringLiteral(", "))));
    }
}

QString zalHostUserIO::entityAnswer(const OdString& prompt)
{
    return answer(prompt, OdString(), zalHostConsole::EntityPrompt);
}

void zalHostUserIO::putString(const OdString& text)
{
    m_console->write(zalStrings::toQString(text));
}
