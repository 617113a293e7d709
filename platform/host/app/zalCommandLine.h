#pragma once

#include <QPointer>
#include <QWidget>

class QEventLoop;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class zalHostConsole;

// The command line under the drawings: the console's output above, the prompt and an input line
// below. A line typed at the command prompt runs a command; while a command waits at one of its
// prompts, the typed line answers it (Escape cancels).
class zalCommandLine : public QWidget
{
    Q_OBJECT
public:
    explicit zalCommandLine(zalHostConsole* console, QWidget* parent = nullptr);

    QLineEdit* input() const { return m_input; }
    QString history() const;
    bool isPrompting() const { return m_waiting != nullptr; }

    QString promptText() const;

public slots:
    // Runs a command line as if it was typed; while a prompt waits, answers it.
    void submit(const QString& text);
    void append(const QString& text);
    // Cancels the prompt that waits (as Escape does).
    void cancelPrompt();
    // Completes the command name being typed: one match is filled in, several are listed.
    void complete();

signals:
    void commandDone(const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void prompted(const QString& prompt);

    zalHostConsole* m_console;
    QPlainTextEdit* m_output;
    QLabel* m_prompt;
    QLineEdit* m_input;
    QEventLoop* m_waiting = nullptr;
    QString m_answer;
    bool m_cancelled = false;
    bool m_running = false;
};
