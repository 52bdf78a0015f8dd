#include "dialogs/customize.h"

#include "base/text.h"

namespace sondrel {

std::string EntryRowText(const std::string& box_caption, bool box_enabled, bool trimmed) {
  if (!box_enabled) return kNotAssignedRow;
  return trimmed ? Trim(box_caption) : box_caption;
}

std::string BuiltInDescription(const TSearchManager& model, std::string_view code) {
  const TBuiltIn* row = model.BuiltIns.Find(code);
  return row ? row->Description : std::string();
}

void AssignBuiltIn(TSearchManager& model, int tab, int slot, const std::string& code) {
  if (TSite* site = model.SiteAt(tab, slot)) {
    // Only the type and the code: a custom entry turned into a catalogue one keeps its old texts, and
    // they are saved with it, so that nothing the user typed is lost.
    site->SiteType = 'B';
    site->Code = code;
    return;
  }
  auto site = std::make_unique<TSite>();
  site->SiteType = 'B';
  site->Code = code;
  site->Tab = tab;
  site->Order = slot;
  model.Sites.Add(SiteKey(tab, slot), std::move(site));
}

void AssignCustom(TSearchManager& model, int tab, int slot, const TCustomEntryTexts& texts) {
  TSite* site = model.SiteAt(tab, slot);
  if (!site) site = model.Sites.Add(SiteKey(tab, slot), std::make_unique<TSite>());
  site->SiteType = 'C';
  site->Code.clear();
  site->Description = texts.description;
  site->Leading = texts.leading;
  site->Post = texts.post;
  site->Tab = tab;
  site->Order = slot;
}

bool ClearEntry(TSearchManager& model, int tab, int slot) {
  const int index = model.Sites.IndexOf(SiteKey(tab, slot));
  if (index < 0) return false;
  model.Sites.Delete(index);
  return true;
}

}  // namespace sondrel
