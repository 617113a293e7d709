#pragma once

// What the host asks of a render view's widget: follow the host's camera now.
class IRenderWidget
{
public:
    virtual ~IRenderWidget() = default;
    virtual void syncRenderCamera() = 0;
};
