#pragma once

#include "DbUserIO.h"

#include <QString>

class zalHostConsole;

// Prompts of a command running in the host console, answered by the console's answer queue.
class zalHostUserIO : public OdDbUserIO
{
public:
    explicit zalHostUserIO(zalHostConsole* console) : m_console(console) {}

    OdString getString(const OdString& prompt, int options, const OdString& defaultValue,
                       const OdString& keywords) override;
    int getInt(const OdString& prompt, int options, int defaultValue, const OdString& keywords) override;
    double getReal(const OdString& prompt, int options, double defaultValue,
                   const OdString& keywords) override;
    OdGePoint3d getPoint(const OdString& prompt, int options, const OdGePoint3d* defaultValue,
                         const OdString& keywords, OdEdPointTracker* tracker) override;
    int getKeyword(const OdString& prompt, const OdString& keywords, int defaultValue, int options) override;
    void putString(const OdString& text) override;

    // Asks for an entity (a handle, "#n", or a click in the drawing view): the answer's text.
    QString entityAnswer(const OdString& prompt);

private:
    // The answer, or OdEdCancel when there is none; a keyword answer raises OdEdKeyword.
    QString answer(const OdString& prompt, const OdString& keywords, int kind = 0);
    // Asks until parse reads a number the options allow; an empty answer is the default.
    template <class T, class Parse>
    T askNumber(const OdString& prompt, int options, T defaultValue, const OdString& keywords, Parse parse,
                const QString& requirement);

    zalHostConsole* m_console;
};
