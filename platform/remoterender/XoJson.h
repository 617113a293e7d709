#pragma once

#include <QByteArray>
#include <QJsonDocument>

#if defined(__SANITIZE_ADDRESS__)
#define XO_JSON_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XO_JSON_LEAK_CHECKED 1
#endif
#endif

#ifdef XO_JSON_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

// QJsonDocument::fromJson for text that comes from outside (files, the viewer). Qt 5.15's parser keeps the
// last value of a key given twice and never frees an array or object the key held before: {"a":[1],"a":1}
// loses 80 bytes. That is Qt's to fix and small, but the leak checker reports it in every sanitized run
// that reads such text, and Qt's frames carry no frame pointers for a suppression to name. So in those
// builds the checker ignores what the parser allocates; the document it returns is freed as usual.
inline QJsonDocument xoParseJson(const QByteArray& text, QJsonParseError* error = nullptr)
{
#ifdef XO_JSON_LEAK_CHECKED
    __lsan::ScopedDisabler parserLeaksRepeatedKeys;
#endif
    return QJsonDocument::fromJson(text, error);
}
