#pragma once

#include "IzalConsole.h"

#include "DbDatabase.h"
#include "DbObjectId.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class OdEdPointTracker;
class OdGePoint3d;
class OdGsView;
class zalHostUserIO;

// The host's command line. Commands run through the editor's command stack with the current drawing;
// their prompts are answered from a queue of answers (a script feeds the same queue). An empty
// answer takes the prompt's default; running out of answers, or the answer cancelToken(), cancels.
class zalHostConsole : public QObject, public IzalConsole
{
    Q_OBJECT
    Q_INTERFACES(IzalConsole)
public:
    enum Result
    {
        Done,
        UnknownCommand,
        Cancelled,
        Failed,
    };
    Q_ENUM(Result)

    // What the prompt being answered asks for; the window lets a click answer entity and point prompts.
    enum PromptKind
    {
        TextPrompt,
        EntityPrompt,
        PointPrompt,
        KeywordPrompt,
    };

    explicit zalHostConsole(QObject* parent = nullptr);
    ~zalHostConsole() override;

    OdRxObject* currentDatabase() const override { return m_database.get(); }
    QObject* viewEventReceiver(OdRxObject* database, int eventType, QByteArray& slot) const override;
    void setPlacementPropertySource(OdRxObject* propertySource, OdRxObject* database, int flags) override;
    void placementAppended(OdDbObject* object, OdRxObject* database) override;

    OdDbDatabase* database() const { return m_database.get(); }
    void setCurrentDatabase(OdDbDatabase* database);

    // slot in SLOT() form with the arguments (IzalView*, QEvent*, bool&); null receiver removes.
    void setViewEventReceiver(int eventType, QObject* receiver, const char* slot);

    static QString cancelToken() { return QStringLiteral("*Cancel*"); }
    void queueAnswers(const QStringList& answers) { m_answers << answers; }
    QStringList pendingAnswers() const { return m_answers; }
    void clearAnswers() { m_answers.clear(); }

    // Runs one command by global or local name, in any group; "?" is "help". Text after the name
    // answers the command's first prompt ("open FILE").
    Result executeCommand(const QString& line);
    // Global names of every registered command, sorted; and those that begin with a prefix.
    static QStringList commandNames();
    static QStringList completions(const QString& prefix);
    // Runs a script: each non-blank line that is not taken by a prompt names a command. Stops at the
    // first command that does not finish; the number of commands finished.
    int runScript(const QString& script);

    // Prompts with their answers ("prompt: answer") and the commands' output, in order.
    // The last kTranscriptLines lines shown: prompts with their answers, messages, command names.
    QStringList transcript() const { return m_transcript; }
    static constexpr int kTranscriptLines = 2000;
    void clearTranscript() { m_transcript.clear(); }
    QString lastError() const { return m_lastError; }

    OdRxObjectPtr placementPropertySource() const { return m_placementSource; }
    OdDbObjectId lastPlacedObject() const { return m_lastPlaced; }

    // Where point prompts show their trackers: the active view's graphics view, or null.
    void setTrackerView(std::function<OdGsView*()> view) { m_trackerView = std::move(view); }

    // Used by the user IO: the next answer for prompt; false when the prompt is to be cancelled.
    bool takeAnswer(const QString& prompt, QString& answer, PromptKind kind = TextPrompt,
                    const QStringList& choices = QStringList());
    // The prompt being answered (TextPrompt when none) and the choices it offers.
    PromptKind promptKind() const { return m_promptKind; }
    QStringList promptChoices() const { return m_promptChoices; }
    // The tracker of the point prompt being answered: cursor points go to it.
    void setActiveTracker(OdEdPointTracker* tracker) { m_tracker = tracker; }
    bool trackPoint(const OdGePoint3d& point);
    void write(const QString& text);
    OdGsView* trackerView() const { return m_trackerView ? m_trackerView() : nullptr; }

signals:
    void currentDatabaseChanged(OdDbDatabase* database);
    void prompted(const QString& prompt);
    void output(const QString& text);
    void commandFinished(const QString& name, zalHostConsole::Result result);
    void placementStarted();
    void placementFinished(const OdDbObjectId& id);

private:
    OdSmartPtr<OdDbDatabase> m_database;
    QHash<int, QPair<QPointer<QObject>, QByteArray>> m_viewEventReceivers;
    QStringList m_answers;
    void record(const QString& line);

    QStringList m_transcript;
    QString m_lastError;
    OdRxObjectPtr m_placementSource;
    OdDbObjectId m_lastPlaced;
    std::function<OdGsView*()> m_trackerView;
    zalHostUserIO* m_io;
    PromptKind m_promptKind = TextPrompt;
    QStringList m_promptChoices;
    OdEdPointTracker* m_tracker = nullptr;
    bool m_inlineAnswer = false;
    int m_written = 0;
};
