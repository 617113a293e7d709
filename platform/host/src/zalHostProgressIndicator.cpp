#include "zalHostProgressIndicator.h"

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

bool zalHostProgressIndicator::isDialogShown() const
{
    return m_dialog && m_dialog->isVisible();
}
