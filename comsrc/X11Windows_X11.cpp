#include "comsrc/X11Windows_X11.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace comsrc::x11 {

namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> owned(T* reply) {
  return Reply<T>(reply, &std::free);
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  auto reply = owned(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The property's bytes (up to 4 KiB, more than any title bar shows), whatever its type; empty
// when it is unset or not made of bytes.
std::string property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name) {
  if (name == XCB_ATOM_NONE) return {};
  auto reply = owned(xcb_get_property_reply(c, xcb_get_property(c, 0, w, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
                                            nullptr));
  if (!reply || reply->format != 8) return {};
  return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                     size_t(xcb_get_property_value_length(reply.get())));
}

bool hasProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name) {
  auto reply = owned(xcb_get_property_reply(c, xcb_get_property(c, 0, w, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
                                            nullptr));
  return reply && reply->type != XCB_ATOM_NONE;
}

std::vector<xcb_window_t> children(xcb_connection_t* c, xcb_window_t w) {
  auto tree = owned(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
  if (!tree) return {};
  const xcb_window_t* first = xcb_query_tree_children(tree.get());
  return std::vector<xcb_window_t>(first, first + xcb_query_tree_children_length(tree.get()));
}

xcb_window_t clientBelow(xcb_connection_t* c, xcb_window_t w, xcb_atom_t wmState, int depth) {
  if (hasProperty(c, w, wmState)) return w;
  // Frames nest the client a level or two down; deeper than that is the application's own tree.
  if (depth == 0) return 0;
  for (xcb_window_t child : children(c, w))
    if (xcb_window_t found = clientBelow(c, child, wmState, depth - 1)) return found;
  return 0;
}

// A window manager owns the selection WM_Sn of the screen it manages.
bool managed(xcb_connection_t* c) {
  const xcb_atom_t selection = atom(c, "WM_S0");
  if (selection == XCB_ATOM_NONE) return false;
  auto owner = owned(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
  return owner && owner->owner != XCB_NONE;
}

}  // namespace

xcb_window_t clientWindow(xcb_connection_t* c, xcb_window_t topLevel) {
  const xcb_atom_t wmState = atom(c, "WM_STATE");
  const xcb_window_t client = wmState == XCB_ATOM_NONE ? 0 : clientBelow(c, topLevel, wmState, 3);
  // Nothing sets WM_STATE without a window manager: each top-level window is then its own client.
  return client || managed(c) ? client : topLevel;
}

std::string windowTitle(xcb_connection_t* c, xcb_window_t window) {
  std::string title = property(c, window, atom(c, "_NET_WM_NAME"));
  return title.empty() ? property(c, window, XCB_ATOM_WM_NAME) : title;
}

std::string windowClass(xcb_connection_t* c, xcb_window_t window) {
  // WM_CLASS holds the instance and then the class, each ended by a zero byte.
  const std::string both = property(c, window, XCB_ATOM_WM_CLASS);
  const size_t cut = both.find('\0');
  if (cut == std::string::npos) return {};
  const std::string rest = both.substr(cut + 1);
  return rest.substr(0, rest.find('\0'));
}

xcb_window_t findClientWindow(xcb_connection_t* c, xcb_window_t root, const std::string& title,
                              const std::string& cls) {
  std::vector<xcb_window_t> stack = children(c, root);
  // The tree lists the root's children bottom to top.
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    auto attributes = owned(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, *it), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || attributes->override_redirect ||
        attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
      continue;
    const xcb_window_t client = clientWindow(c, *it);
    if (!client) continue;
    if (!title.empty() && windowTitle(c, client) != title) continue;
    if (!cls.empty() && windowClass(c, client) != cls) continue;
    return client;
  }
  return 0;
}

}  // namespace comsrc::x11
