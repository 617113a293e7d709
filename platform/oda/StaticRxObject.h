// An object that is not reference counted: a static or member whose lifetime its owner
// controls (command objects, module singletons). addRef/release do nothing.
#pragma once

#include "RxObject.h"

#include <utility>

template <class T> class OdStaticRxObject : public T
{
public:
    template <class... Args> explicit OdStaticRxObject(Args&&... args) : T(std::forward<Args>(args)...) {}
    void addRef() override {}
    void release() override {}
    long numRefs() const override { return 1; }
};
