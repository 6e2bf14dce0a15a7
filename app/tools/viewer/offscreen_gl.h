// An OpenGL context without a window: a GLX pbuffer of a given size on the
// X display named by DISPLAY (a virtual one under xvfb-run is enough). Used
// by the programs that draw frames without showing them.
#pragma once

#include <GL/glew.h>

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <string>

namespace Tavrin {

class OffscreenGl {
 public:
  OffscreenGl() = default;
  OffscreenGl(const OffscreenGl&) = delete;
  OffscreenGl& operator=(const OffscreenGl&) = delete;
  ~OffscreenGl() { close(); }

  // Opens the display and makes a current context drawing into a
  // width x height RGBA pbuffer with a depth buffer. False with `why` set
  // when there is no display, no suitable configuration, or the pbuffer
  // cannot be made (too large).
  bool open(int width, int height, std::string& why) {
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
      why = "no display could be opened";
      return false;
    }
    const int attributes[] = {GLX_DRAWABLE_TYPE,
                              GLX_PBUFFER_BIT,
                              GLX_RENDER_TYPE,
                              GLX_RGBA_BIT,
                              GLX_RED_SIZE,
                              8,
                              GLX_GREEN_SIZE,
                              8,
                              GLX_BLUE_SIZE,
                              8,
                              GLX_DEPTH_SIZE,
                              24,
                              GLX_DOUBLEBUFFER,
                              False,
                              None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display_, DefaultScreen(display_), attributes, &count);
    if (!configs || count == 0) {
      if (configs) XFree(configs);
      why = "the display offers no OpenGL configuration with a depth buffer";
      return false;
    }
    GLXFBConfig config = configs[0];
    XFree(configs);
    // A refused pbuffer raises an X error; record it instead of letting
    // Xlib's default handler end the process.
    x_error_seen() = false;
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) -> int {
      x_error_seen() = true;
      return 0;
    });
    const int pbuffer_attributes[] = {
        GLX_PBUFFER_WIDTH, width, GLX_PBUFFER_HEIGHT, height, GLX_PRESERVED_CONTENTS, True, None};
    pbuffer_ = glXCreatePbuffer(display_, config, pbuffer_attributes);
    XSync(display_, False);
    if (!pbuffer_ || x_error_seen()) {
      XSetErrorHandler(previous);
      pbuffer_ = 0;
      why = "the drawing surface of that size could not be made";
      return false;
    }
    context_ = glXCreateNewContext(display_, config, GLX_RGBA_TYPE, nullptr, True);
    XSync(display_, False);
    XSetErrorHandler(previous);
    if (!context_ || !glXMakeContextCurrent(display_, pbuffer_, pbuffer_, context_)) {
      why = "no OpenGL context could be made";
      return false;
    }
    return true;
  }

  // Makes the context current again (after another one was); false when
  // it was never opened.
  bool make_current() {
    return display_ && context_ && glXMakeContextCurrent(display_, pbuffer_, pbuffer_, context_);
  }

  // Call before anything drawn in the context is released elsewhere.
  void close() {
    if (!display_) return;
    glXMakeContextCurrent(display_, 0, 0, nullptr);
    if (context_) glXDestroyContext(display_, context_);
    if (pbuffer_) glXDestroyPbuffer(display_, pbuffer_);
    XCloseDisplay(display_);
    display_ = nullptr;
    context_ = nullptr;
    pbuffer_ = 0;
  }

 private:
  static bool& x_error_seen() {
    static bool seen = false;
    return seen;
  }
  Display* display_ = nullptr;
  GLXContext context_ = nullptr;
  GLXPbuffer pbuffer_ = 0;
};

}  // namespace Tavrin
