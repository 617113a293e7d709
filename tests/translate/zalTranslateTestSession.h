#pragma once

// The module's host for translation tests: one drawing open, the channel's calls read back as records.

#include "tests/common/zalModuleTestHost.h"

#include "translate/zalUnrealRenderView.h"

#include <QMap>

#include <cstdio>

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

class zalTranslateSessionTest : public zalModuleTestHost
{
protected:
    void TearDown() override
    {
        // For reading a failure: ZAL_PRINT_CALLS=1 prints what the channel carried.
        if (recorder && qEnvironmentVariableIsSet("ZAL_PRINT_CALLS")) {
            for (const QString& line : recorder->lines())
                std::printf("%s\n", line.left(300).toUtf8().constData());
        }
        zalModuleTestHost::TearDown();
    }

    // Opens db in an "UnrealRender" view as the current drawing; with the recording transport the
    // viewer is played as started and its window reported, so the session is ready to translate.
    zalDbUnrealRenderSession* openDrawing(OdDbDatabase* db)
    {
        const Opened o = open(db);
        if (!o.session || !o.recorder) return o.session;
        recorder = o.recorder;
        startViewer(o);
        recorder->simulateWindowHandle(0x4a00011);
        waitFor([&] { return o.session->viewerWindowHandle() != nullptr; });
        return o.session;
    }

    QList<zalRecordedCall> calls(const QString& operation = QString()) const
    {
        QList<zalRecordedCall> out;
        if (!recorder) return out;
        for (const QString& line : recorder->lines()) {
            zalRecordedCall call = zalRecordedCall::parse(line);
            if (operation.isEmpty() || call.operation == operation) out << call;
        }
        return out;
    }

    QStringList operations() const
    {
        QStringList out;
        for (const zalRecordedCall& c : calls())
            out << c.operation;
        return out;
    }

    static QString id(const OdDbObjectId& objectId) { return name(objectId); }

    XoRecordingMessagesManager* recorder = nullptr;
};
