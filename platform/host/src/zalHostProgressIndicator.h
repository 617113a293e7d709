#pragma once

#include <QElapsedTimer>
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
    QString dialogText() const;

    // What the viewers gained while the work runs; the dialog shows it under the title.
    void addSent(quint64 entities, quint64 triangles);
    quint64 sentEntities() const { return m_entities; }
    quint64 sentTriangles() const { return m_triangles; }

signals:
    void finished(const QString& title);

private:
    QString m_title;
    QPointer<QProgressDialog> m_dialog;
    quint64 m_entities = 0;
    quint64 m_triangles = 0;
    QElapsedTimer m_shown;
};
