// The table readers and the splitting rules on any bytes: no faults, the plain rule loses nothing but
// the documented empty last field, quoted values come back as written, and what the program writes
// reads back to the same model (writing it again gives the same bytes).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/UGeneral.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckPlainSplit(char sep, std::string_view line) {
  sondrel::StringList fields;
  sondrel::SplitFields(sep, line, fields);
  std::string back = sondrel::Join(fields, std::string_view(&sep, 1));
  if (!line.empty() && line.back() == sep) back += sep;
  Check(back == line);
}

void CheckQuotedRoundTrip(char sep, const std::string& text) {
  sondrel::StringList values = sondrel::Split(text, '\n');
  if (values.back().empty()) return;  // an empty last value is dropped by design
  sondrel::StringList back;
  sondrel::SplitQuotedFields(sep, sondrel::JoinFields(values, sep, true), back);
  Check(back == values);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char sep = size ? static_cast<char>(data[0]) : ',';
  CheckPlainSplit(',', text);
  CheckPlainSplit('^', text);
  CheckPlainSplit(sep, text);
  if (sep != '\n' && sep != '"') CheckQuotedRoundTrip(sep, text);
  sondrel::StringList fields;
  sondrel::SplitQuotedFields(',', text, fields);

  sondrel::TSearchManager m;
  m.ReadBuiltIns(text);
  m.ReadSites(text);
  m.ReadTabs(text);
  for (const auto& pair : m.Sites) (void)m.Resolve(*pair.object);

  const std::string sites = m.SitesText();
  const std::string tabs = m.TabsText();
  sondrel::TSearchManager again;
  again.ReadSites(sites);
  again.ReadTabs(tabs);
  Check(!again.SitesHadMalformedLines() && !again.TabsHadMalformedLines());
  Check(again.Sites.Count() == m.Sites.Count());
  Check(again.Tabs.Count() == m.Tabs.Count());
  for (int i = 0; i < m.Tabs.Count(); ++i) {
    Check(again.Tabs[i].Name == m.Tabs[i].Name);
    Check(again.Tabs[i].LastKeywords == m.Tabs[i].LastKeywords);
  }
  for (int i = 0; i < m.Sites.Count(); ++i) {
    const auto& a = again.Sites[i];
    const auto& b = m.Sites[i];
    Check(a.SiteType == b.SiteType && a.Code == b.Code && a.Description == b.Description &&
          a.Leading == b.Leading && a.Post == b.Post && a.Tab == b.Tab && a.Order == b.Order &&
          a.Checked == b.Checked);
  }
  Check(again.SitesText() == sites);
  Check(again.TabsText() == tabs);
  return 0;
}
