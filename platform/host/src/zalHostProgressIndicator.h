#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QProgressDialog;
class QWidget;

// A busy indicator for work of unknown length. Made by the application for a caller that deletes it
// when the work ends; the dialog is shown only when the host runs with a user interface.
class zalHostProgressIndicator : public QObject
{
    Q_OBJECT
public:
    zalHostProgressIndicator(const QString& title, QWidget* parent, bool showDialog);
    ~zalHostProgressIndicator() override;

    QString title() const { return m_title; }
    bool isDialogShown() const;

signals:
    void finished(const QString& title);

private:
    QString m_title;
    QPointer<QProgressDialog> m_dialog;
};
