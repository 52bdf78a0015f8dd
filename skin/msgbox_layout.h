#pragma once
// Where the parts of the information message box go, given the size its text needs.
#include <vector>

namespace sondrel {

struct TBoxRect {
  int left = 0, top = 0, width = 0, height = 0;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
};

struct TMessageBoxLayout {
  int client_width = 0;
  int client_height = 0;
  TBoxRect icon;
  TBoxRect text;
  std::vector<TBoxRect> buttons;  // left to right
};

struct TMessageBoxMetrics {
  int margin = 14;
  int icon_size = 32;
  int gap = 12;         // between icon and text, and above the buttons
  int button_width = 80;
  int button_height = 23;
  int button_gap = 8;
  int min_text_width = 120;
  int max_text_width = 380;  // longer lines wrap
  int min_client_width = 220;
};

// The box for text that needs text_width by text_height pixels (already wrapped at max_text_width)
// and button_count buttons (1 or 2). The text sits right of the icon, vertically centred on it when
// shorter; the buttons are centred under both. Widths and heights below the metrics' minimums are
// raised to them; negative sizes count as 0.
TMessageBoxLayout LayoutMessageBox(int text_width, int text_height, int button_count,
                                   const TMessageBoxMetrics& m = {});

}  // namespace sondrel
