#include "platform/x11/x_atoms.h"

#include <array>

namespace corvane::platform::x11 {

Atoms::Atoms(Display* display) {
  std::array<char*, 29> names = {
      const_cast<char*>("WM_STATE"),
      const_cast<char*>("WM_CLASS"),
      const_cast<char*>("WM_NAME"),
      const_cast<char*>("WM_PROTOCOLS"),
      const_cast<char*>("WM_DELETE_WINDOW"),
      const_cast<char*>("WM_TRANSIENT_FOR"),
      const_cast<char*>("WM_CLIENT_MACHINE"),
      const_cast<char*>("_NET_SUPPORTED"),
      const_cast<char*>("_NET_CLIENT_LIST"),
      const_cast<char*>("_NET_CLIENT_LIST_STACKING"),
      const_cast<char*>("_NET_ACTIVE_WINDOW"),
      const_cast<char*>("_NET_CURRENT_DESKTOP"),
      const_cast<char*>("_NET_WM_DESKTOP"),
      const_cast<char*>("_NET_WM_PID"),
      const_cast<char*>("_NET_WM_NAME"),
      const_cast<char*>("_NET_WM_STATE"),
      const_cast<char*>("_NET_WM_STATE_HIDDEN"),
      const_cast<char*>("_NET_WM_WINDOW_TYPE"),
      const_cast<char*>("_NET_WM_WINDOW_TYPE_DESKTOP"),
      const_cast<char*>("_NET_WORKAREA"),
      const_cast<char*>("_NET_CLOSE_WINDOW"),
      const_cast<char*>("UTF8_STRING"),
      const_cast<char*>("_XROOTPMAP_ID"),
      const_cast<char*>("RESOURCE_MANAGER"),
      const_cast<char*>("_NET_WM_WINDOW_TYPE_DOCK"),
      const_cast<char*>("_NET_SUPPORTING_WM_CHECK"),
      const_cast<char*>("_NET_WM_WINDOW_TYPE_TOOLTIP"),
      const_cast<char*>("_NET_WM_WINDOW_TYPE_NOTIFICATION"),
      const_cast<char*>("_NET_FRAME_EXTENTS"),
  };
  std::array<Atom, 29> atoms{};
  XInternAtoms(display, names.data(), static_cast<int>(names.size()), False, atoms.data());
  Atom* out[] = {&wmState,
                 &wmClass,
                 &wmName,
                 &wmProtocols,
                 &wmDeleteWindow,
                 &wmTransientFor,
                 &wmClientMachine,
                 &netSupported,
                 &netClientList,
                 &netClientListStacking,
                 &netActiveWindow,
                 &netCurrentDesktop,
                 &netWmDesktop,
                 &netWmPid,
                 &netWmName,
                 &netWmState,
                 &netWmStateHidden,
                 &netWmWindowType,
                 &netWmWindowTypeDesktop,
                 &netWorkarea,
                 &netCloseWindow,
                 &utf8String,
                 &rootPixmap,
                 &resourceManager,
                 &netWmWindowTypeDock,
                 &netSupportingWmCheck,
                 &netWmWindowTypeTooltip,
                 &netWmWindowTypeNotification,
                 &netFrameExtents};
  static_assert(sizeof(out) / sizeof(out[0]) == std::tuple_size_v<decltype(atoms)>);
  for (std::size_t i = 0; i < atoms.size(); ++i) *out[i] = atoms[i];
}

}  // namespace corvane::platform::x11
