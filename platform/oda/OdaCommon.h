// Basic types shared by every odkit header.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int8_t OdInt8;
typedef uint8_t OdUInt8;
typedef int16_t OdInt16;
typedef uint16_t OdUInt16;
typedef int32_t OdInt32;
typedef uint32_t OdUInt32;
typedef int64_t OdInt64;
typedef uint64_t OdUInt64;
typedef wchar_t OdChar;
typedef OdUInt8 OdUInt8_t;

#define ODKIT_EXPORT __attribute__((visibility("default")))
#define TOOLKIT_EXPORT ODKIT_EXPORT
#define FIRSTDLL_EXPORT ODKIT_EXPORT
#define ODRX_ABSTRACT

#ifndef ODA_ASSERT
#include <cassert>
#define ODA_ASSERT(exp) assert(exp)
#endif

// Version of the platform API this layer stands for (24.1.0.0).
#define ODKIT_API_MAJOR 24
#define ODKIT_API_MINOR 1

class OdRxObject;
class OdRxClass;
class OdDbStub;
class OdDbDatabase;
