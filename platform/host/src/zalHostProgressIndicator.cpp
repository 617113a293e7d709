#include "zalHostProgressIndicator.h"

#include <QLocale>
#include <QProgressDialog>

zalHostProgressIndicator::zalHostProgressIndicator(const QString& title, QWidget* parent, bool showDialog)
    : m_title(title)
{
    if (!showDialog) return;
    // Not a child of parent: the caller may delete the indicator after the parent is gone.
    m_dialog = new QProgressDialog(title, QString(), 0, 0);
    m_dialog->setWindowTitle(title);
    m_dialog->setMinimumDuration(0);
    m_dialog->setWindowModality(Qt::NonModal);
    if (parent) {
        const QPoint centre = parent->mapToGlobal(parent->rect().center());
        m_dialog->move(centre - m_dialog->rect().center());
    }
    m_dialog->show();
}

zalHostProgressIndicator::~zalHostProgressIndicator()
{
    delete m_dialog.data();
    emit finished(m_title);
}

void zalHostProgressIndicator::addSent(quint64 entities, quint64 triangles)
{
    m_entities += entities;
    m_triangles += triangles;
    if (!m_dialog) return;
    // The work runs on this thread: the label is painted at once, a few times a second.
    if (m_shown.isValid() && m_shown.elapsed() < 100) return;
    m_dialog->setLabelText(
        tr("%1\n%2 entities, %3 triangles")
            .arg(m_title, QLocale::system().toString(m_entities), QLocale::system().toString(m_triangles)));
    m_dialog->repaint();
    m_shown.start();
}

QString zalHostProgressIndicator::dialogText() const
{
    return m_dialog ? m_dialog->labelText() : QString();
}

bool zalHostProgressIndicator::isDialogShown() const
{
    return m_dialog && m_dialog->isVisible();
}
