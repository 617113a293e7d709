#include "zalHostConsole.h"

#include "zalHostCommandContext.h"
#include "zalHostUserIO.h"
#include "zalStrings.h"

#include "DbObject.h"
#include "Ed/EdCommandStack.h"
#include "StaticRxObject.h"

#include "Ed/EdPointTracker.h"

#include <QDebug>
#include <QRegularExpression>

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

bool zalHostConsole::takeAnswer(const QString& prompt, QString& answer, PromptKind kind,
                                const QStringList& choices)
{
    m_promptKind = kind;
    m_promptChoices = choices;
    emit prompted(prompt);
    m_promptKind = TextPrompt;
    m_promptChoices.clear();
    m_inlineAnswer = false;
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
    ++m_written;
    record(text);
    emit output(text);
}

bool zalHostConsole::trackPoint(const OdGePoint3d& point)
{
    if (!m_tracker) return false;
    m_tracker->setValue(point);
    return true;
}

QStringList zalHostConsole::commandNames()
{
    QStringList names;
    OdEdCommandStackPtr stack = odedRegCmds();
    if (stack.isNull()) return names;
    for (const OdString& group : stack->groupNames())
        for (const OdEdCommandPtr& command : stack->groupCommands(group))
            if (!command.isNull()) names << zalStrings::toQString(command->globalName());
    names.removeDuplicates();
    names.sort(Qt::CaseInsensitive);
    return names;
}

QStringList zalHostConsole::completions(const QString& prefix)
{
    QStringList found;
    for (const QString& name : commandNames())
        if (name.startsWith(prefix.trimmed(), Qt::CaseInsensitive)) found << name;
    return found;
}

zalHostConsole::Result zalHostConsole::executeCommand(const QString& line)
{
    m_lastError.clear();
    const QString trimmed = line.trimmed();
    const int blank = trimmed.indexOf(QRegularExpression(QStringLiteral("\\s")));
    QString name = blank < 0 ? trimmed : trimmed.left(blank);
    const QString rest = blank < 0 ? QString() : trimmed.mid(blank + 1).trimmed();
    if (name == QLatin1String("?")) name = QStringLiteral("help");
    OdEdCommandStackPtr stack = odedRegCmds();
    OdEdCommandPtr command =
        stack.isNull() ? OdEdCommandPtr() : stack->lookupCmd(zalStrings::toOdString(name));
    if (command.isNull()) {
        m_lastError =
            QStringLiteral("Unknown command \"%1\". Type help or ? for the list of commands.").arg(name);
        write(m_lastError);
        emit commandFinished(name, UnknownCommand);
        return UnknownCommand;
    }

    record(QStringLiteral("Command: ") + name);
    // Each command is one undo step; undo and redo walk the steps and open none.
    const QString global = zalStrings::toQString(command->globalName());
    if (!m_database.isNull() && global != QLatin1String("undo") && global != QLatin1String("redo"))
        m_database->startUndoRecord();
    OdStaticRxObject<zalHostCommandContext> context(m_io, m_database.get());
    Result result = Done;
    const int queued = m_answers.size();
    const int written = m_written;
    if (!rest.isEmpty()) {
        m_answers.prepend(rest);
        m_inlineAnswer = true;
    }
    try {
        stack->executeCommand(command.get(), &context);
    } catch (const OdEdCancel&) {
        result = Cancelled;
        write(cancelToken());
    } catch (const OdEdKeyword& keyword) {
        result = Failed;
        m_lastError =
            QStringLiteral("Keyword \"%1\" not handled.").arg(zalStrings::toQString(keyword.keyword()));
    } catch (const OdError& error) {
        result = Failed;
        m_lastError = zalStrings::toQString(error.description());
    } catch (const std::exception& error) {
        result = Failed;
        m_lastError = QString::fromLocal8Bit(error.what());
    }
    // A command that asked nothing leaves the text after its name; it must not become the next command.
    if (m_inlineAnswer) {
        m_inlineAnswer = false;
        if (m_answers.size() > queued) m_answers.removeFirst();
        write(QStringLiteral("(%1 takes no answer; \"%2\" ignored)").arg(name, rest));
    }
    if (result == Failed) write(QStringLiteral("Error: ") + m_lastError);
    // Every command ends with a line, also those that work silently (the module's viewer commands).
    if (result == Done && m_written == written) write(QStringLiteral("%1 finished.").arg(name));
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
