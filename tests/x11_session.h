// An X display for tests that need real windows: the one in DISPLAY, or a
// private Xvfb started for the session when DISPLAY is unset. Finds windows
// by title, reads their pixels back, types keys through XTest and asks
// windows to close the way a window manager would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace drusk::testing {

using XWindowId = unsigned long;

struct WindowGeometry {
    int x = 0;  // relative to the root window
    int y = 0;
    int width = 0;
    int height = 0;
};

// Pixels as 0x00RRGGBB, rows top to bottom.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

class X11Session {
  public:
    // A private server gets a screen of the given size and 24-bit colour.
    // Sets DISPLAY for this process, so windows the process opens (and
    // programs it starts) use the session's server.
    explicit X11Session(int screenWidth = 1280, int screenHeight = 1024);
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    // False when no server could be reached or started; error() says why.
    bool ok() const { return connection_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::string& displayName() const { return displayName_; }
    bool ownServer() const { return serverPid_ > 0; }
    Display* connection() const { return connection_; }

    // The first viewable window whose title is exactly title, waiting for
    // it up to timeoutMs; 0 when none appears.
    XWindowId waitForWindow(const std::string& title, int timeoutMs = 10000);
    WindowGeometry geometry(XWindowId window);

    // The window's pixels as shown on the screen.
    Capture capture(XWindowId window);
    // The picture a window shows scaled and centred: the picture pixels of
    // a pictureWidth by pictureHeight picture, each read at its centre.
    Capture capturePicture(XWindowId window, int pictureWidth, int pictureHeight);
    // One pixel of the window as shown, 0x00RRGGBB; a cheap read for
    // watching a spot change. 0xFFFFFFFF when it cannot be read.
    uint32_t pixel(XWindowId window, int x, int y);

    // Gives the keyboard focus to the window.
    void focus(XWindowId window);
    // Key presses through XTest, by key symbol name ("Escape", "a", "Up",
    // "Shift_L"): modifiers pressed in order, the key pressed and released,
    // modifiers released in reverse. False when a name has no key.
    bool tapKey(const std::string& key, const std::vector<std::string>& modifiers = {});
    bool pressKey(const std::string& key);
    bool releaseKey(const std::string& key);

    // The pointer's position on the screen; false when it cannot be read.
    bool pointerPosition(int* x, int* y);
    // Moves the pointer through XTest, to screen coordinates.
    void movePointer(int x, int y);
    // True when the pointer shape now shown has no visible pixel.
    bool pointerInvisible();

    // Sends the window's close request, as a window manager's close button
    // does.
    void requestClose(XWindowId window);

    // Waits until the server has handled everything sent so far.
    void sync();

  private:
    bool startServer(int screenWidth, int screenHeight);
    bool sendKey(const std::string& key, bool press);

    Display* connection_ = nullptr;
    std::string displayName_;
    std::string previousDisplay_;
    bool hadDisplay_ = false;
    int serverPid_ = -1;
    std::string error_;
};

}  // namespace drusk::testing
