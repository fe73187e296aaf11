// first_paint: how long a program takes from its start to the first picture of
// its window on the screen. It starts the program, watches the X server for
// the program's top-level windows (the Damage extension reports the first
// drawing into one of them), prints the milliseconds from fork to that first
// drawing, then ends the program.
//
// Usage: first_paint COMMAND [ARGS...]     (DISPLAY must name an X server
// without a window manager, e.g. Xvfb, so that top-level windows are children
// of the root window.)

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <poll.h>

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s COMMAND [ARGS...]\n", argv[0]);
    return 2;
  }
  // A busy X server now and then refuses a connection; the clock starts later.
  Display* display = XOpenDisplay(nullptr);
  for (int attempt = 0; display == nullptr && attempt < 20; ++attempt) {
    usleep(50 * 1000);
    display = XOpenDisplay(nullptr);
  }
  if (display == nullptr) {
    std::fprintf(stderr, "first_paint: cannot open the display\n");
    return 1;
  }
  int damageEvent = 0, damageError = 0;
  if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
    std::fprintf(stderr, "first_paint: the X server has no Damage extension\n");
    return 1;
  }
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[1], argv + 1);
    std::perror("first_paint: exec");
    _exit(127);
  }

  // Every new top-level window is watched from its creation on, before the
  // program can map it and draw into it.
  double elapsed = -1;
  const int fd = ConnectionNumber(display);
  while (elapsed < 0) {
    if (XPending(display) == 0) {
      pollfd wait{fd, POLLIN, 0};
      if (poll(&wait, 1, 100) == 0 && waitpid(child, nullptr, WNOHANG) == child) {
        std::fprintf(stderr, "first_paint: the program ended without drawing a window\n");
        return 1;
      }
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == CreateNotify && event.xcreatewindow.parent == root) {
      XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
    } else if (event.type == damageEvent + XDamageNotify) {
      elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
  }
  std::printf("%.1f\n", elapsed);
  kill(child, SIGTERM);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  XCloseDisplay(display);
  return 0;
}
