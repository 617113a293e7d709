#pragma once

// The reference host made for one test: every file it keeps (variables, project folders, the
// physical material library) in a temporary folder, and only the services the test asks for. Tests
// that need a host build it here, never from zalHostOptions by hand.

#include "zalHostApplication.h"

#include <QTemporaryDir>

#include <memory>

class zalTestHost
{
public:
    explicit zalTestHost(int services = zalHostOptions::AllServices, const QString& variablesFile = QString())
        : m_app(make(options(m_folder, services, variablesFile)))
    {
    }

    zalHostApplication* app() const { return m_app.get(); }
    zalHostApplication* operator->() const { return m_app.get(); }
    QString folder() const { return m_folder.path(); }
    QString filePath(const QString& name) const { return m_folder.filePath(name); }

    // The options of a host whose files live in folder; an empty variablesFile puts them in
    // "vars/zalhost.ini" there.
    static zalHostOptions options(const QTemporaryDir& folder, int services = zalHostOptions::AllServices,
                                  const QString& variablesFile = QString())
    {
        zalHostOptions o;
        o.services = services;
        o.variablesFile =
            variablesFile.isEmpty() ? folder.filePath(QStringLiteral("vars/zalhost.ini")) : variablesFile;
        o.temporaryRoot = folder.filePath(QStringLiteral("projects"));
        o.materialLibraryRoot = folder.filePath(materialLibraryFolder());
        return o;
    }

    // The material library's folder name inside the test's folder.
    static QString materialLibraryFolder() { return QStringLiteral("materials"); }

    // A host application (or a test's subclass of it) on options. Qt keeps the argument count and
    // list for the application's whole life, so they are static.
    template <class App = zalHostApplication> static std::unique_ptr<App> make(const zalHostOptions& options)
    {
        return std::make_unique<App>(s_argc, s_argv, options);
    }

private:
    static inline int s_argc = 1;
    static inline char s_name[] = "zal_test";
    static inline char* s_argv[] = {s_name, nullptr};

    QTemporaryDir m_folder;
    std::unique_ptr<zalHostApplication> m_app;
};
