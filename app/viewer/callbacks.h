// The GLUT-style callbacks of the drawing window and the drawing requests
// that commands use.
#pragma once

namespace Tavrin {

struct Application;

// Installs display, reshape, keyboard, mouse, motion and an empty special-key
// callback on the current GLUT window, and lets the status bar redraw the
// window at once. The callbacks act on current_application().
void install_callbacks(Application& app);

// Draws one frame now: counts it, clears to white, draws the scene and the
// status bar, swaps. Does nothing without a shown drawing window; a call
// made while a frame is being drawn is dropped (that frame shows its effect).
void redraw(Application& app);

// Asks the toolkit to draw the window at its next opportunity. Lost when
// called from inside the display callback.
void post_redraw();

// The Reset command: the scene's camera, draw style 2 and no culling for the
// shown objects, no rotation and no pan; posts a redraw.
void reset_view_command(Application& app);

// The callbacks themselves (GLUT button and state codes).
void on_display();
void on_reshape(int w, int h);
void on_key(unsigned char key, int x, int y);
void on_mouse(int button, int state, int x, int y);
void on_motion(int x, int y);
void on_special(int key, int x, int y);

}  // namespace Tavrin
