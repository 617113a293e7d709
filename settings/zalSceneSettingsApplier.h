#pragma once

#include "zalExport.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>

// Turns the settings of the current scene into the viewer's command sequence. It only computes:
// the session's applySceneSettings feeds it the two settings read paths and the production
// flags, then sends the steps in order. Every run yields the complete sequence.
class ZAL_EXPORT zalSceneSettingsApplier
{
public:
    // The stored value of key, or defaultValue when the key is absent.
    using Reader = std::function<QVariant(const QString& key, const QVariant& defaultValue)>;

    struct Step
    {
        enum Kind
        {
            ConsoleCommand,
            SunByPosition,
        };
        Kind kind = ConsoleCommand;
        QString command;
        int northOffset = 0;
        float azimuth = 0;
        float elevation = 0;
    };

    // What the session remembers between runs; updated by run().
    struct Remembered
    {
        int rtQuality = 1;
        int pathTracing = 0;
    };

    struct Result
    {
        QVector<Step> steps;
        // The RT quality preset changed on a viewer with tessellation: materials must be sent again.
        bool refreshMaterials = false;
    };

    // sessionValue reads the session's own map (sun keys and the shadow fade threshold);
    // sceneValue every other key.
    zalSceneSettingsApplier(Reader sessionValue, Reader sceneValue);

    // The render widget's "Producing" and "ProducingAnimation" properties.
    void setProduction(bool producing, bool animation);
    // Asked each time the RT quality step needs it (the viewer generation may change meanwhile).
    void setTessellationSupport(std::function<bool()> supportTessellation);
    // Wall clock whose seconds replace those of the sun's date; the current time by default.
    void setClock(std::function<QDateTime()> clock);

    Result run(Remembered& remembered) const;

    // The post-process field list with its slots "%1" to "%62" unfilled.
    static const QString& postProcessTemplate();
    // Replaces each "%n" (n from 1 to values.size(), longest number first) by values[n - 1] in
    // one pass, so a value that itself holds "%n" stays as it is.
    static QString fillSlots(const QString& text, const QStringList& values);
    // printf "%g" in the C locale; not-a-number and infinities as Qt writes them ("nan", "inf").
    static QString real(double value);
    // The value narrowed to a 32-bit float first.
    static QString realFloat(double value);

private:
    QVariant scene(const char* key, const QVariant& defaultValue) const;
    QVariant session(const char* key, const QVariant& defaultValue) const;
    void placeSun(QVector<Step>& steps) const;

    Reader m_sessionValue;
    Reader m_sceneValue;
    bool m_producing = false;
    bool m_producingAnimation = false;
    std::function<bool()> m_supportTessellation;
    std::function<QDateTime()> m_clock;
};
