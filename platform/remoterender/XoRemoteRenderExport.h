#pragma once

// The channel library exports only what carries this mark.
#define XOREMOTERENDER_EXPORT __attribute__((visibility("default")))
