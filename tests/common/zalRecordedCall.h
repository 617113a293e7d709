#pragma once

// A line the recording transport wrote for one channel call, read back: the operation and its fields
// by name ("addMesh name=\"F_1\" faceSizes=[3,3]").

#include <QMap>
#include <QString>
#include <QVector>

// One recorded channel call, its fields by name; strings unquoted, arrays as their text "[a,b,...]".
struct zalRecordedCall
{
    QString operation;
    QMap<QString, QString> fields;
    QString operator[](const QString& field) const { return fields.value(field); }

    static zalRecordedCall parse(const QString& line)
    {
        zalRecordedCall call;
        int i = line.indexOf(QLatin1Char(' '));
        call.operation = i < 0 ? line : line.left(i);
        while (i >= 0 && i < line.size()) {
            while (i < line.size() && line[i] == QLatin1Char(' '))
                ++i;
            const int eq = line.indexOf(QLatin1Char('='), i);
            if (eq < 0) break;
            const QString key = line.mid(i, eq - i);
            int j = eq + 1;
            QString value;
            if (j < line.size() && line[j] == QLatin1Char('"')) {
                ++j;
                while (j < line.size() && line[j] != QLatin1Char('"')) {
                    if (line[j] == QLatin1Char('\\') && j + 1 < line.size()) ++j;
                    value += line[j++];
                }
                ++j;
            } else if (j < line.size() && line[j] == QLatin1Char('[')) {
                const int close = line.indexOf(QLatin1Char(']'), j);
                value = line.mid(j, close - j + 1);
                j = close + 1;
            } else {
                const int end = line.indexOf(QLatin1Char(' '), j);
                value = line.mid(j, end < 0 ? -1 : end - j);
                j = end < 0 ? line.size() : end;
            }
            call.fields.insert(key, value);
            i = j;
        }
        return call;
    }

    QVector<double> numbers(const QString& field) const
    {
        QVector<double> out;
        QString text = fields.value(field);
        text.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        if (text.isEmpty()) return out;
        for (const QString& part : text.split(QLatin1Char(',')))
            out << part.toDouble();
        return out;
    }
};
