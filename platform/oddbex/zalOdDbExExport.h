#pragma once

#define ZALODDBEX_EXPORT __attribute__((visibility("default")))
