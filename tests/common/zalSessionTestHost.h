#pragma once

// The module's host for session tests, with helpers to search the recorded channel lines.

#include "tests/common/zalModuleTestHost.h"

#include "DbViewportTableRecord.h"

class zalSessionTestHost : public zalModuleTestHost
{
protected:
    // The index of the first line from `from` on that starts with prefix; -1 when none.
    static int indexOf(const QStringList& lines, const QString& prefix, int from = 0)
    {
        for (int i = from; i < lines.size(); ++i)
            if (lines.at(i).startsWith(prefix)) return i;
        return -1;
    }

    static int count(const QStringList& lines, const QString& prefix)
    {
        int n = 0;
        for (const QString& line : lines)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }
};
