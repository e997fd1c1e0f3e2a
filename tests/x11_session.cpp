#include "tests/x11_session.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "screen/picture_fit.h"

namespace drusk::testing {

namespace {

// Windows come and go while tests look at them; a request about a window
// that just vanished is not a reason to end the test program.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

std::string windowTitle(Display* display, Window window) {
    char* name = nullptr;
    if (!XFetchName(display, window, &name) || !name) return {};
    std::string title = name;
    XFree(name);
    return title;
}

Window findWindow(Display* display, Window parent, const std::string& title, int depth) {
    Window root, parentOut;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &parentOut, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes)) continue;
        if (attributes.map_state != IsViewable) continue;
        if (windowTitle(display, children[i]) == title) {
            found = children[i];
        } else if (depth > 0) {
            found = findWindow(display, children[i], title, depth - 1);
        }
    }
    if (children) XFree(children);
    return found;
}

}  // namespace

X11Session::X11Session(int screenWidth, int screenHeight) {
    XSetErrorHandler(ignoreXErrors);
    const char* display = std::getenv("DISPLAY");
    if (display) {
        hadDisplay_ = true;
        previousDisplay_ = display;
    }
    if (display && *display) {
        displayName_ = display;
    } else if (!startServer(screenWidth, screenHeight)) {
        return;
    }
    setenv("DISPLAY", displayName_.c_str(), 1);
    connection_ = XOpenDisplay(displayName_.c_str());
    if (!connection_) {
        error_ = "cannot connect to display " + displayName_;
        return;
    }
    int eventBase, errorBase, major, minor;
    if (!XTestQueryExtension(connection_, &eventBase, &errorBase, &major, &minor)) {
        error_ = "display " + displayName_ + " has no XTest";
        XCloseDisplay(connection_);
        connection_ = nullptr;
    }
}

X11Session::~X11Session() {
    if (connection_) XCloseDisplay(connection_);
    if (serverPid_ > 0) {
        kill(serverPid_, SIGTERM);
        int status;
        waitpid(serverPid_, &status, 0);
    }
    if (hadDisplay_) {
        setenv("DISPLAY", previousDisplay_.c_str(), 1);
    } else {
        unsetenv("DISPLAY");
    }
}

// Xvfb picks a free display number itself and writes it to the descriptor
// given with -displayfd, so parallel sessions never collide.
bool X11Session::startServer(int screenWidth, int screenHeight) {
    int fds[2];
    if (pipe(fds) != 0) {
        error_ = "pipe failed";
        return false;
    }
    std::string screen = std::to_string(screenWidth) + "x" + std::to_string(screenHeight) + "x24";
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        error_ = "fork failed";
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        // The server goes when the test program goes, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        close(fds[0]);
        int devNull = open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            dup2(devNull, STDIN_FILENO);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
        }
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    serverPid_ = pid;
    std::string number;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (number.empty() || number.back() != '\n') {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd waiting = {fds[0], POLLIN, 0};
        if (poll(&waiting, 1, static_cast<int>(left.count())) <= 0) break;
        char c;
        if (read(fds[0], &c, 1) != 1) break;
        number += c;
    }
    close(fds[0]);
    if (number.empty() || number.back() != '\n') {
        error_ = "Xvfb did not start (is it installed?)";
        return false;
    }
    number.pop_back();
    displayName_ = ":" + number;
    return true;
}

XWindowId X11Session::waitForWindow(const std::string& title, int timeoutMs) {
    if (!connection_) return 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        XSync(connection_, False);
        Window found = findWindow(connection_, DefaultRootWindow(connection_), title, 3);
        if (found || std::chrono::steady_clock::now() > deadline) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

WindowGeometry X11Session::geometry(XWindowId window) {
    WindowGeometry result;
    XWindowAttributes attributes;
    if (!connection_ || !XGetWindowAttributes(connection_, window, &attributes)) return result;
    Window child;
    XTranslateCoordinates(connection_, window, DefaultRootWindow(connection_), 0, 0, &result.x,
                          &result.y, &child);
    result.width = attributes.width;
    result.height = attributes.height;
    return result;
}

Capture X11Session::capture(XWindowId window) {
    Capture result;
    WindowGeometry size = geometry(window);
    if (size.width <= 0 || size.height <= 0) return result;
    XImage* image =
        XGetImage(connection_, window, 0, 0, size.width, size.height, AllPlanes, ZPixmap);
    if (!image) return result;
    result.width = size.width;
    result.height = size.height;
    result.pixels.resize(static_cast<size_t>(size.width) * size.height);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            result.pixels[static_cast<size_t>(y) * size.width + x] =
                static_cast<uint32_t>(XGetPixel(image, x, y)) & 0x00FFFFFF;
        }
    }
    XDestroyImage(image);
    return result;
}

uint32_t X11Session::pixel(XWindowId window, int x, int y) {
    if (!connection_) return 0xFFFFFFFFu;
    XImage* image = XGetImage(connection_, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xFFFFFFFFu;
    uint32_t value = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0x00FFFFFF;
    XDestroyImage(image);
    return value;
}

Capture X11Session::capturePicture(XWindowId window, int pictureWidth, int pictureHeight) {
    Capture whole = capture(window);
    Capture picture;
    if (whole.pixels.empty()) return picture;
    PictureRect area = fitPicture(whole.width, whole.height, pictureWidth, pictureHeight);
    picture.width = pictureWidth;
    picture.height = pictureHeight;
    picture.pixels.resize(static_cast<size_t>(pictureWidth) * pictureHeight);
    for (int y = 0; y < pictureHeight; ++y) {
        int sy = area.y + static_cast<int>((2 * y + 1) * static_cast<int64_t>(area.height) /
                                           (2 * pictureHeight));
        for (int x = 0; x < pictureWidth; ++x) {
            int sx = area.x + static_cast<int>((2 * x + 1) * static_cast<int64_t>(area.width) /
                                               (2 * pictureWidth));
            picture.pixels[static_cast<size_t>(y) * pictureWidth + x] = whole.at(sx, sy);
        }
    }
    return picture;
}

void X11Session::focus(XWindowId window) {
    if (!connection_) return;
    XRaiseWindow(connection_, window);
    XSetInputFocus(connection_, window, RevertToPointerRoot, CurrentTime);
    XSync(connection_, False);
}

bool X11Session::sendKey(const std::string& key, bool press) {
    if (!connection_) return false;
    KeySym symbol = XStringToKeysym(key.c_str());
    if (symbol == NoSymbol) return false;
    ::KeyCode code = XKeysymToKeycode(connection_, symbol);
    if (code == 0) return false;
    XTestFakeKeyEvent(connection_, code, press ? True : False, CurrentTime);
    XSync(connection_, False);
    return true;
}

bool X11Session::pressKey(const std::string& key) {
    return sendKey(key, true);
}

bool X11Session::releaseKey(const std::string& key) {
    return sendKey(key, false);
}

bool X11Session::tapKey(const std::string& key, const std::vector<std::string>& modifiers) {
    bool ok = true;
    for (const std::string& modifier : modifiers)
        ok = pressKey(modifier) && ok;
    ok = pressKey(key) && ok;
    ok = releaseKey(key) && ok;
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        ok = releaseKey(*it) && ok;
    return ok;
}

bool X11Session::pointerPosition(int* x, int* y) {
    if (!connection_) return false;
    Window root, child;
    int windowX, windowY;
    unsigned mask;
    return XQueryPointer(connection_, DefaultRootWindow(connection_), &root, &child, x, y, &windowX,
                         &windowY, &mask);
}

void X11Session::movePointer(int x, int y) {
    if (!connection_) return;
    XTestFakeMotionEvent(connection_, DefaultScreen(connection_), x, y, CurrentTime);
    XSync(connection_, False);
}

bool X11Session::pointerInvisible() {
    if (!connection_) return false;
    XFixesCursorImage* image = XFixesGetCursorImage(connection_);
    if (!image) return false;
    bool invisible = true;
    for (int i = 0; i < image->width * image->height && invisible; ++i) {
        invisible = (image->pixels[i] & 0xFF000000ul) == 0;
    }
    XFree(image);
    return invisible;
}

void X11Session::requestClose(XWindowId window) {
    if (!connection_) return;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(connection_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(connection_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(connection_, window, False, NoEventMask, &event);
    XSync(connection_, False);
}

void X11Session::sync() {
    if (connection_) XSync(connection_, False);
}

}  // namespace drusk::testing

// Libraries that windowing code opens and closes again (SDL loads the X
// client libraries this way) would leave leak reports without names; kept
// mapped, their own leaks can be told apart from ours.
extern "C" int dlclose(void*) {
    return 0;
}

// What the sanitizers report about the system's windowing libraries
// themselves. The D-Bus client library keeps a connection SDL opens for
// the screen saver setting until the process ends. Mesa's software OpenGL
// driver, which SDL's renderer uses under Xvfb, runs worker threads it
// synchronises in uninstrumented code.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

extern "C" const char* __tsan_default_suppressions() {
    return "race:*_dri.so\nrace:libgallium*\n";
}
