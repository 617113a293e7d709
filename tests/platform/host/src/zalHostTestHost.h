#pragma once

#include "zalHostApplication.h"

#include <QTemporaryDir>

#include <memory>

// A host made for one test: its files in a temporary folder, the services the test asks for.
class zalHostTestHost
{
public:
    explicit zalHostTestHost(int services = zalHostOptions::AllServices,
                             const QString& variablesFile = QString())
    {
        zalHostOptions options;
        options.services = services;
        options.variablesFile =
            variablesFile.isEmpty() ? m_folder.filePath(QStringLiteral("vars/zalhost.ini")) : variablesFile;
        options.temporaryRoot = m_folder.filePath(QStringLiteral("temp"));
        options.materialLibraryRoot = m_folder.filePath(QStringLiteral("MaterialLibrary"));
        m_app = std::make_unique<zalHostApplication>(s_argc, s_argv, options);
    }

    zalHostApplication* app() const { return m_app.get(); }
    QString folder() const { return m_folder.path(); }
    QString filePath(const QString& name) const { return m_folder.filePath(name); }

private:
    static inline int s_argc = 1;
    static inline char s_name[] = "zalhost_test";
    static inline char* s_argv[] = {s_name, nullptr};

    QTemporaryDir m_folder;
    std::unique_ptr<zalHostApplication> m_app;
};
