#pragma once

#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// Reading the viewer command sequence back in tests.
namespace zalSettingsTestUtil {

// The fields of "Set PostProcessVolume Settings (...)" in order, split at the commas outside
// parentheses; names and values trimmed ("BloomIntensity = 0" gives "BloomIntensity", "0").
inline QVector<QPair<QString, QString>> postProcessFields(const QString& command)
{
    QVector<QPair<QString, QString>> fields;
    const QString prefix = QStringLiteral("Set PostProcessVolume Settings (");
    if (!command.startsWith(prefix) || !command.endsWith(QLatin1Char(')'))) return fields;
    const QString body = command.mid(prefix.size(), command.size() - prefix.size() - 1);
    int depth = 0;
    QString current;
    auto flush = [&] {
        const int eq = current.indexOf(QLatin1Char('='));
        fields.append({current.left(eq).trimmed(), eq < 0 ? QString() : current.mid(eq + 1).trimmed()});
        current.clear();
    };
    for (QChar c : body) {
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            --depth;
        if (c == QLatin1Char(',') && depth == 0)
            flush();
        else
            current += c;
    }
    flush();
    return fields;
}

inline QMap<QString, QString> postProcessMap(const QString& command)
{
    QMap<QString, QString> map;
    for (const auto& field : postProcessFields(command))
        map.insert(field.first, field.second);
    return map;
}

// The first command of the list that starts with prefix; empty when none does.
inline QString firstWithPrefix(const QStringList& commands, const QString& prefix)
{
    for (const QString& command : commands)
        if (command.startsWith(prefix)) return command;
    return QString();
}

} // namespace zalSettingsTestUtil
