#include "tools/vdisplay/DamageWatcher_X11.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>

struct DamageConnection {
  Display* display = nullptr;
  Damage damage = 0;
  XserverRegion parts = 0;
  int eventBase = 0;
};

DamageWatcher::~DamageWatcher() { close(); }

std::string DamageWatcher::open(const std::string& displayName) {
  close();
  Display* d = XOpenDisplay(displayName.c_str());
  if (!d) return "cannot connect to the display " + displayName;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XDamageQueryExtension(d, &eventBase, &errorBase) || !XFixesQueryExtension(d, &major, &minor) ||
      !XFixesQueryVersion(d, &major, &minor) || major < 2) {
    XCloseDisplay(d);
    return "the display has no DAMAGE or XFIXES extension";
  }
  int damageMajor = 1, damageMinor = 1;
  XDamageQueryVersion(d, &damageMajor, &damageMinor);
  c = new DamageConnection;
  c->display = d;
  c->eventBase = eventBase;
  // Drawing into any window reaches the root's damage; one event until the damage is taken.
  c->damage = XDamageCreate(d, DefaultRootWindow(d), XDamageReportNonEmpty);
  c->parts = XFixesCreateRegion(d, nullptr, 0);
  // A new damage object reports the whole window at once. That is no drawing (every source
  // starts with the whole frame anyway), and taken later it would reach a client that has
  // just started as one: it is taken and dropped here, before anyone can connect.
  XSync(d, False);
  XDamageSubtract(d, c->damage, None, None);
  XSync(d, True);
  return {};
}

int DamageWatcher::fd() const { return c ? ConnectionNumber(c->display) : -1; }

void DamageWatcher::drain(const std::function<void(const comsrc::Rect&)>& drawn) {
  if (!c) return;
  Display* d = c->display;
  // The region fetch is a round trip, during which more events may be queued: go on until
  // none is left, so that the caller's poll on the connection misses nothing.
  while (XEventsQueued(d, QueuedAfterReading) > 0) {
    bool damaged = false;
    while (XEventsQueued(d, QueuedAlready) > 0) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == c->eventBase + XDamageNotify) damaged = true;
    }
    if (!damaged) continue;
    XDamageSubtract(d, c->damage, None, c->parts);
    int count = 0;
    XRectangle* rects = XFixesFetchRegion(d, c->parts, &count);
    for (int i = 0; i < count; ++i)
      drawn(comsrc::Rect{rects[i].x, rects[i].y, rects[i].x + int32_t(rects[i].width), rects[i].y + int32_t(rects[i].height)});
    if (rects) XFree(rects);
  }
}

void DamageWatcher::close() {
  if (!c) return;
  XCloseDisplay(c->display);
  delete c;
  c = nullptr;
}
