#pragma once

// The keep-awake request of a long job (an image export): the counterpart of Windows'
// SetThreadExecutionState. Header-only so that any library can ask without linking the host.
//
// The state lives on the application object as the dynamic property "zalExecutionState", one value
// for the whole process whichever library asked: the host reads it there (and its changes, through
// QEvent::DynamicPropertyChange) to hold off sleep, tests read what was asked.

#include <QCoreApplication>
#include <QVariant>

enum zalExecutionState : unsigned
{
    ZAL_ES_SYSTEM_REQUIRED = 0x00000001u,
    ZAL_ES_DISPLAY_REQUIRED = 0x00000002u,
    ZAL_ES_AWAYMODE_REQUIRED = 0x00000040u,
    ZAL_ES_CONTINUOUS = 0x80000000u,
};

// The state asked for last with ZAL_ES_CONTINUOUS (ZAL_ES_CONTINUOUS alone when none was asked).
inline unsigned zalExecutionStateNow()
{
    QCoreApplication* app = QCoreApplication::instance();
    QVariant state = app ? app->property("zalExecutionState") : QVariant();
    return state.isValid() ? state.toUInt() : unsigned(ZAL_ES_CONTINUOUS);
}

// With ZAL_ES_CONTINUOUS the flags hold until the next continuous request (ZAL_ES_CONTINUOUS alone
// releases); without it the request is a one-off and the state stays. Answers the previous state,
// 0 without an application object.
inline unsigned zalSetThreadExecutionState(unsigned flags)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return 0;
    unsigned previous = zalExecutionStateNow();
    if (flags & ZAL_ES_CONTINUOUS) app->setProperty("zalExecutionState", flags);
    return previous;
}
