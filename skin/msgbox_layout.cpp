#include "skin/msgbox_layout.h"

#include <algorithm>

namespace sondrel {

TMessageBoxLayout LayoutMessageBox(int text_width, int text_height, int button_count, const TMessageBoxMetrics& m) {
  TMessageBoxLayout out;
  button_count = std::max(button_count, 1);
  text_width = std::clamp(text_width, m.min_text_width, m.max_text_width);
  text_height = std::max(text_height, 0);

  const int buttons_width = button_count * m.button_width + (button_count - 1) * m.button_gap;
  const int content_width = m.icon_size + m.gap + text_width;
  out.client_width = std::max({m.min_client_width, content_width + 2 * m.margin, buttons_width + 2 * m.margin});

  const int content_height = std::max(m.icon_size, text_height);
  out.icon = {m.margin, m.margin + (content_height - m.icon_size) / 2, m.icon_size, m.icon_size};
  out.text = {m.margin + m.icon_size + m.gap, m.margin + (content_height - text_height) / 2, text_width, text_height};

  const int buttons_top = m.margin + content_height + m.gap + 4;
  int x = (out.client_width - buttons_width) / 2;
  for (int i = 0; i < button_count; ++i) {
    out.buttons.push_back({x, buttons_top, m.button_width, m.button_height});
    x += m.button_width + m.button_gap;
  }
  out.client_height = buttons_top + m.button_height + m.margin - 2;
  return out;
}

}  // namespace sondrel
