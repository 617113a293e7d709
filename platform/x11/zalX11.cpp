#include "zalX11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <mutex>

namespace {

// Xlib's default error handler exits the process; a window of another process may vanish at any
// moment, so errors are caught for the duration of one call. The handler is process-wide, hence
// the lock.
std::mutex s_errorMutex;
bool s_failed = false;

int recordError(Display*, XErrorEvent*)
{
    s_failed = true;
    return 0;
}

class Connection
{
public:
    Connection() : m_lock(s_errorMutex), m_display(XOpenDisplay(nullptr))
    {
        s_failed = false;
        if (m_display) m_previous = XSetErrorHandler(recordError);
    }
    ~Connection()
    {
        if (!m_display) return;
        XSync(m_display, False);
        XSetErrorHandler(m_previous);
        XCloseDisplay(m_display);
    }
    Display* display() const { return m_display; }
    // Flushes the requests made so far; false when one of them failed.
    bool succeeded()
    {
        XSync(m_display, False);
        return !s_failed;
    }

private:
    std::lock_guard<std::mutex> m_lock;
    Display* m_display;
    XErrorHandler m_previous = nullptr;
};

bool attributes(Connection& x, Window window, XWindowAttributes& out)
{
    if (!x.display() || !window) return false;
    return XGetWindowAttributes(x.display(), window, &out) != 0 && x.succeeded();
}

Window parentOf(Connection& x, Window window)
{
    if (!x.display() || !window) return 0;
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    const Status ok = XQueryTree(x.display(), window, &root, &parent, &children, &count);
    if (children) XFree(children);
    return ok && x.succeeded() ? parent : 0;
}

} // namespace

bool zalX11DisableInput(unsigned long window)
{
    Connection x;
    XWindowAttributes attrs;
    if (!attributes(x, window, attrs)) return false;
    int eventBase = 0;
    int errorBase = 0;
    if (!XShapeQueryExtension(x.display(), &eventBase, &errorBase)) return false;
    XShapeCombineRectangles(x.display(), window, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    return x.succeeded();
}

bool zalX11IsInputDisabled(unsigned long window)
{
    Connection x;
    XWindowAttributes attrs;
    if (!attributes(x, window, attrs)) return false;
    int count = 0;
    int ordering = 0;
    XRectangle* rectangles = XShapeGetRectangles(x.display(), window, ShapeInput, &count, &ordering);
    if (rectangles) XFree(rectangles);
    return x.succeeded() && count == 0;
}

bool zalX11MinimiseWindow(unsigned long window)
{
    Connection x;
    XWindowAttributes attrs;
    if (!attributes(x, window, attrs)) return false;
    if (parentOf(x, window) == attrs.root) {
        // Without a window manager the iconify request changes nothing; unmap as well then.
        XIconifyWindow(x.display(), window, XScreenNumberOfScreen(attrs.screen));
    }
    XUnmapWindow(x.display(), window);
    return x.succeeded();
}

bool zalX11WindowExists(unsigned long window)
{
    Connection x;
    XWindowAttributes attrs;
    return attributes(x, window, attrs);
}

bool zalX11IsViewable(unsigned long window)
{
    Connection x;
    XWindowAttributes attrs;
    return attributes(x, window, attrs) && attrs.map_state == IsViewable;
}

unsigned long zalX11Parent(unsigned long window)
{
    Connection x;
    return parentOf(x, window);
}

unsigned long zalX11Root()
{
    Connection x;
    return x.display() ? DefaultRootWindow(x.display()) : 0;
}

bool zalX11DetachWindow(unsigned long window)
{
    Connection x;
    XWindowAttributes attrs;
    if (!attributes(x, window, attrs)) return false;
    if (parentOf(x, window) == attrs.root) return true;
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    XTranslateCoordinates(x.display(), window, attrs.root, 0, 0, &rootX, &rootY, &child);
    XReparentWindow(x.display(), window, attrs.root, rootX, rootY);
    return x.succeeded();
}
