// Loading and saving the configuration store: a catalogue of 1,000 rows, 80 entries and a history of
// 5,000 keywords on each of the eight tabs, from memory and through files in a temporary folder.
// Prints medians, bytes per second, and the time ratio of four times the input to once (about 4 when linear).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/file.h"
#include "model/UGeneral.h"

using namespace sondrel;

namespace {

struct Sizes {
  int builtins;
  int keywords_per_tab;
};

std::string CatalogueText(int rows) {
  static const char* kCategories[] = {"Web", "Images", "Videos", "News", "Blogs", "Shopping", "Music"};
  std::string s = "CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\n";
  for (int i = 0; i < rows; ++i)
    s += "C" + std::to_string(i) + ",Site " + std::to_string(i) + ",https://search" + std::to_string(i) +
         ".example/find?lang=en&q=,&page=1," + kCategories[i % 7] + "\r\n";
  return s;
}

// Builds the model in memory: 80 entries, and the histories.
void Fill(TSearchManager& m, const Sizes& z) {
  m.ReadBuiltIns(CatalogueText(z.builtins));
  m.ReadTabs("");
  for (int t = 1; t <= kTabCount; ++t) {
    TSearchTab& tab = *m.TabAt(t);
    tab.Name = "Tab number " + std::to_string(t);
    for (int k = 0; k < z.keywords_per_tab; ++k)
      tab.LastKeywords.push_back("keyword " + std::to_string(k) + " of tab");
    for (int s = 1; s <= kSlotCount; ++s) {
      auto site = std::make_unique<TSite>();
      site->SiteType = s % 3 ? 'B' : 'C';
      site->Code = s % 3 ? "C" + std::to_string(s * 7) : "";
      if (s % 3 == 0) {
        site->Description = "Own search";
        site->Leading = "https://own.example/?q=";
      }
      site->Tab = t;
      site->Order = s;
      site->Checked = s % 2;
      m.Sites.Add(SiteKey(t, s), std::move(site));
    }
  }
}

double MedianMs(int runs, const std::function<void()>& f) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    auto a = std::chrono::steady_clock::now();
    f();
    auto b = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(b - a).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

std::string TempFolder() {
#ifdef _WIN32
  const char* t = std::getenv("TEMP");
  return IncludeBackslash(t ? t : ".") + "sondrel-bench\\";
#else
  const char* t = std::getenv("TMPDIR");
  return std::string(t ? t : "/tmp") + "/sondrel-bench/";
#endif
}

struct Figures {
  double load_ms, save_ms, file_load_ms, file_save_ms;
  size_t bytes;
};

Figures Measure(const Sizes& z, int runs) {
  TSearchManager model;
  Fill(model, z);
  const std::string catalogue = CatalogueText(z.builtins);
  const std::string sites = model.SitesText();
  const std::string tabs = model.TabsText();
  Figures f{};
  f.bytes = catalogue.size() + sites.size() + tabs.size();
  f.load_ms = MedianMs(runs, [&] {
    TSearchManager m;
    m.ReadBuiltIns(catalogue);
    m.ReadSites(sites);
    m.ReadTabs(tabs);
  });
  f.save_ms = MedianMs(runs, [&] {
    volatile size_t n = model.SitesText().size() + model.TabsText().size();
    (void)n;
  });
  const std::string dir = TempFolder();
  ForceDirectories(dir);
  WriteFileAtomic(dir + kBuiltInsFile, catalogue);
  WriteFileAtomic(dir + kSitesFile, sites);
  WriteFileAtomic(dir + kTabsFile, tabs);
  WriteFileAtomic(dir + kSettingsFile, "[Settings]\r\nMLastTab=2\r\nMReverse=1\r\n");
  f.file_load_ms = MedianMs(runs, [&] { TSearchManager m(dir); });
  TSearchManager loaded(dir);
  f.file_save_ms = MedianMs(runs, [&] {
    loaded.SaveSites();
    loaded.SaveTabs();
    loaded.SaveSettings();
  });
  return f;
}

double Rate(size_t bytes, double ms) {
  return ms > 0 ? bytes / (ms / 1000.0) / (1024.0 * 1024.0) : 0;
}

}  // namespace

int main() {
  const Sizes base{1000, 5000};
  const Sizes four_times{4000, 20000};
  const int runs = 15;
  Figures a = Measure(base, runs);
  Figures b = Measure(four_times, runs);
  std::printf("store: 1,000 catalogue rows, 80 entries, 8 x 5,000 keywords = %zu bytes; medians of %d runs\n",
              a.bytes, runs);
  std::printf("  parse from memory  %8.2f ms  %7.1f MiB/s   x4 input: %.2f\n", a.load_ms,
              Rate(a.bytes, a.load_ms), b.load_ms / a.load_ms);
  std::printf("  format to memory   %8.2f ms  %7.1f MiB/s   x4 input: %.2f\n", a.save_ms,
              Rate(a.bytes - CatalogueText(base.builtins).size(), a.save_ms), b.save_ms / a.save_ms);
  std::printf("  load from files    %8.2f ms  %7.1f MiB/s   x4 input: %.2f\n", a.file_load_ms,
              Rate(a.bytes, a.file_load_ms), b.file_load_ms / a.file_load_ms);
  std::printf(
      "  save to files      %8.2f ms  %7.1f MiB/s   x4 input: %.2f  (three one-step replaces, flushed)\n",
      a.file_save_ms, Rate(a.bytes - CatalogueText(base.builtins).size(), a.file_save_ms),
      b.file_save_ms / a.file_save_ms);
  return 0;
}
