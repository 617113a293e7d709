#include "zalCommandLine.h"

#include "zalHostConsole.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

zalCommandLine::zalCommandLine(zalHostConsole* console, QWidget* parent) : QWidget(parent), m_console(console)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    m_output = new QPlainTextEdit(this);
    m_output->setReadOnly(true);
    m_output->setMaximumBlockCount(2000);
    m_output->setMinimumHeight(60);
    auto* row = new QHBoxLayout;
    m_prompt = new QLabel(QStringLiteral("Command:"), this);
    m_input = new QLineEdit(this);
    m_input->setObjectName(QStringLiteral("commandInput"));
    m_input->installEventFilter(this);
    row->addWidget(m_prompt);
    row->addWidget(m_input, 1);
    layout->addWidget(m_output, 1);
    layout->addLayout(row);

    connect(m_input, &QLineEdit::returnPressed, this, [this] {
        const QString text = m_input->text();
        m_input->clear();
        submit(text);
    });
    if (m_console) {
        connect(m_console, &zalHostConsole::output, this, &zalCommandLine::append);
        // Direct: the console asks while the command runs and takes the answer right after.
        connect(m_console, &zalHostConsole::prompted, this, &zalCommandLine::prompted, Qt::DirectConnection);
    }
}

QString zalCommandLine::history() const
{
    return m_output->toPlainText();
}

void zalCommandLine::append(const QString& text)
{
    m_output->appendPlainText(text);
}

QString zalCommandLine::promptText() const
{
    return m_prompt->text();
}

void zalCommandLine::cancelPrompt()
{
    if (!m_waiting) return;
    m_cancelled = true;
    m_waiting->quit();
}

void zalCommandLine::complete()
{
    if (m_waiting) return;
    const QString typed = m_input->text().trimmed();
    if (typed.contains(QLatin1Char(' '))) return;
    const QStringList found = zalHostConsole::completions(typed);
    if (found.isEmpty()) return;
    if (found.size() == 1) {
        m_input->setText(found.first() + QLatin1Char(' '));
        return;
    }
    // Fill in what all matches share, and show them.
    QString common = found.first();
    for (const QString& name : found)
        while (!name.startsWith(common, Qt::CaseInsensitive))
            common.chop(1);
    if (common.size() > typed.size()) m_input->setText(common);
    append(found.join(QStringLiteral("  ")));
}

namespace {

// What a prompt accepts, for the user who does not know yet.
QString promptHint(zalHostConsole* console, const QString& prompt)
{
    switch (console->promptKind()) {
    case zalHostConsole::EntityPrompt:
        return QStringLiteral(" (click an entity, or a handle or #n)");
    case zalHostConsole::PointPrompt:
        return QStringLiteral(" (click in the drawing, or x,y[,z] in drawing units)");
    case zalHostConsole::KeywordPrompt:
    case zalHostConsole::TextPrompt:
        if (!console->promptChoices().isEmpty() && !prompt.contains(QLatin1Char('[')))
            return QStringLiteral(" [%1]").arg(console->promptChoices().join(QLatin1Char('/')));
        break;
    }
    return QString();
}

} // namespace

void zalCommandLine::prompted(const QString& prompt)
{
    // Answers already queued (a script) need no user.
    if (!m_console || !m_console->pendingAnswers().isEmpty() || !isVisible()) return;
    m_prompt->setText(prompt + promptHint(m_console, prompt) + QLatin1Char(':'));
    QEventLoop loop;
    m_waiting = &loop;
    m_cancelled = false;
    m_input->setFocus();
    loop.exec();
    m_waiting = nullptr;
    m_prompt->setText(QStringLiteral("Command:"));
    append(prompt + QStringLiteral(": ") + (m_cancelled ? QStringLiteral("*Cancel*") : m_answer));
    m_console->queueAnswers({m_cancelled ? zalHostConsole::cancelToken() : m_answer});
}

void zalCommandLine::submit(const QString& text)
{
    if (m_waiting) {
        m_answer = text;
        m_waiting->quit();
        return;
    }
    const QString name = text.trimmed();
    if (name.isEmpty() || !m_console || m_running) return;
    append(QStringLiteral("Command: ") + name);
    m_running = true;
    m_console->executeCommand(name);
    m_running = false;
    emit commandDone(name);
}

bool zalCommandLine::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_input && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape && m_waiting) {
            cancelPrompt();
            return true;
        }
        // Tab completes here instead of moving the focus away.
        if (key == Qt::Key_Tab) {
            complete();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
