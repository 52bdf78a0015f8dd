#pragma once
// The catalogue the dialog tests share: two rows of category "Web", one of "Images", and one whose
// category differs from "Web" only in letter case.
namespace sondrel {

inline constexpr char kCatalogue[] =
    "CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\n"
    "WONE,Web One,http://w1/?q=,,Web\r\n"
    "IONE,Pics,http://i1/?q=,&s=1,Images\r\n"
    "WTWO,Web Two,http://w2/?q=,,Web\r\n"
    "ODD,Odd One,http://o/?q=,,web\r\n";

}  // namespace sondrel
