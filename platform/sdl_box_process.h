// sdl_box_process.h -- message boxes shown by a process of their own, forked while the player has no other thread
#pragma once

// SDL shows a box on X11 from a child it forks, and a fork while other threads run (the loads'
// helpers, the track's, the GL driver's) can hand that child a lock one of them held. So every
// box is shown by one process forked before any thread starts: it takes each box's caption and
// text over a socket, shows it, and answers once it is closed. That process and the boxes it
// forks form a process group of their own, so ending a box ends exactly them.

// Forks the box process. Call while the program has no other thread. False where none could
// start; showBoxFromProcess then shows nothing.
bool startBoxProcess();

// Shows one box from the box process, over owner (an SDL_Window of X11, as its own, so that
// a window manager keeps it on top; may be null), and waits until it is closed. Where stopFd
// turns readable or stopped() says so first (a stop signal came), the box and its process are
// ended at once. False where no box was shown to the end: the caller says it another way.
bool showBoxFromProcess(const char* text, const char* caption, void* owner, int stopFd, bool (*stopped)());
