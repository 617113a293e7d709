#include "zalHostConsole.h"

#include "zalHostCommandContext.h"
#include "zalHostStrings.h"
#include "zalHostUserIO.h"

#include "DbObject.h"
#include "Ed/EdCommandStack.h"
#include "StaticRxObject.h"

#include <QDebug>

zalHostConsole::zalHostConsole(QObject* parent)
    : QObject(parent), m_io(new OdStaticRxObject<zalHostUserIO>(this))
{
}

zalHostConsole::~zalHostConsole()
{
    delete m_io;
}

void zalHostConsole::setCurrentDatabase(OdDbDatabase* database)
{
    if (m_database.get() == database) return;
    m_database = database;
    emit currentDatabaseChanged(database);
}

QObject* zalHostConsole::viewEventReceiver(OdRxObject* database, int eventType, QByteArray& slot) const
{
    slot.clear();
    if (!database) return nullptr;
    const auto entry = m_viewEventReceivers.value(eventType);
    if (!entry.first) return nullptr;
    slot = entry.second;
    return entry.first.data();
}

void zalHostConsole::setViewEventReceiver(int eventType, QObject* receiver, const char* slot)
{
    if (!receiver || !slot)
        m_viewEventReceivers.remove(eventType);
    else
        m_viewEventReceivers.insert(eventType, qMakePair(QPointer<QObject>(receiver), QByteArray(slot)));
}

void zalHostConsole::setPlacementPropertySource(OdRxObject* propertySource, OdRxObject*, int)
{
    m_placementSource = propertySource;
    if (propertySource) emit placementStarted();
}

void zalHostConsole::placementAppended(OdDbObject* object, OdRxObject*)
{
    m_lastPlaced = object ? object->objectId() : OdDbObjectId();
    m_placementSource = nullptr;
    emit placementFinished(m_lastPlaced);
}

bool zalHostConsole::takeAnswer(const QString& prompt, QString& answer)
{
    emit prompted(prompt);
    if (m_answers.isEmpty()) {
        record(prompt + QStringLiteral(": ") + cancelToken());
        return false;
    }
    answer = m_answers.takeFirst();
    record(prompt + QStringLiteral(": ") + answer);
    return answer != cancelToken();
}

void zalHostConsole::record(const QString& line)
{
    // A long session (or script) would otherwise keep every line it ever showed: about half a
    // kilobyte per command. The command line keeps as many.
    m_transcript << line;
    while (m_transcript.size() > kTranscriptLines)
        m_transcript.removeFirst();
}

void zalHostConsole::write(const QString& text)
{
    record(text);
    emit output(text);
}

zalHostConsole::Result zalHostConsole::executeCommand(const QString& name)
{
    m_lastError.clear();
    OdEdCommandStackPtr stack = odedRegCmds();
    OdEdCommandPtr command =
        stack.isNull() ? OdEdCommandPtr() : stack->lookupCmd(zalHostStrings::toOdString(name));
    if (command.isNull()) {
        m_lastError = QStringLiteral("Unknown command \"%1\".").arg(name);
        write(m_lastError);
        emit commandFinished(name, UnknownCommand);
        return UnknownCommand;
    }

    record(QStringLiteral("Command: ") + name);
    OdStaticRxObject<zalHostCommandContext> context(m_io, m_database.get());
    Result result = Done;
    try {
        stack->executeCommand(command.get(), &context);
    } catch (const OdEdCancel&) {
        result = Cancelled;
        write(cancelToken());
    } catch (const OdEdKeyword& keyword) {
        result = Failed;
        m_lastError =
            QStringLiteral("Keyword \"%1\" not handled.").arg(zalHostStrings::toQString(keyword.keyword()));
    } catch (const OdError& error) {
        result = Failed;
        m_lastError = zalHostStrings::toQString(error.description());
    } catch (const std::exception& error) {
        result = Failed;
        m_lastError = QString::fromLocal8Bit(error.what());
    }
    if (result == Failed) write(QStringLiteral("Error: ") + m_lastError);
    emit commandFinished(name, result);
    return result;
}

int zalHostConsole::runScript(const QString& script)
{
    // Lines after a command are its answers; the queue gives them out as its prompts ask.
    for (QString line : script.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        m_answers << line;
    }
    int finished = 0;
    while (!m_answers.isEmpty()) {
        const QString line = m_answers.takeFirst().trimmed();
        if (line.isEmpty()) continue;
        if (executeCommand(line) != Done) {
            m_answers.clear();
            break;
        }
        ++finished;
    }
    return finished;
}
