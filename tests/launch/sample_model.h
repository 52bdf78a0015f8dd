#pragma once
// A small configuration for whole searches, as the data files hold it: tab 3 has a catalogue entry
// (its code in another letter case), a custom entry with blanks and quotes in its post text, an entry
// whose code left the catalogue, an unticked entry and a later duplicate of slot 2.
namespace sondrel::test {

inline constexpr char kSampleBuiltIns[] =
    "CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\n"
    "WEB1,Web One,http://127.0.0.1/web1?q=,&hl=en,Web\r\n"
    "IMG,Pictures,http://127.0.0.1/img/,/large,Images\r\n";

inline constexpr char kSampleSites[] =
    "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
    "B,web1,,,,3,2,1\r\n"
    "C,,Mine,http://127.0.0.1/my search?k=,&t=\"quoted\" end\\,3,5,1\r\n"
    "B,GONE,,,,3,7,1\r\n"
    "B,IMG,,,,3,9,0\r\n"
    "B,IMG,,,,3,2,1\r\n"
    "C,,Elsewhere,http://127.0.0.1/four?q=,,4,1,1\r\n";

inline constexpr char kSampleTabs[] =
    "CODE,NAME,LASTKEYWORDS\r\n"
    "1,Web,\r\n2,Images,\r\n3,Mixed,older^Paris\r\n4,Four,\r\n5,Five,\r\n6,Six,\r\n7,Seven,\r\n8,Eight,\r\n";

}  // namespace sondrel::test
