// How the viewer's window looks, set by the viewer's options before any display is opened.
#pragma once

namespace velk {

// How the viewer's window looks: its title (also the icon's), the colours of its highlight,
// border and pointer, and its X geometry (null: the page's size at the usual place).
struct windowlook {
  const char* title = "plotview";
  const char* high_color = "blue";
  const char* brdr_color = "blue";
  const char* mous_color = "red";
  const char* geometry = nullptr;
};

}  // namespace velk
