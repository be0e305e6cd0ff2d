#pragma once

// The face every window is drawn in. The form names "微软雅黑" and "SimSun",
// which Debian does not have; left to the system's substitutes, the captions'
// widths depend on the fonts a machine happens to carry, and the form's fixed
// widths clip them.

namespace windowfont {

// WenQuanYi Zen Hei, the CJK font the package depends on (fonts-wqy-zenhei);
// it also draws "℃" and "℉".
extern const char *const family;
// Maps the form's families to that face and makes it, 12 pixels high, the
// application's font. Needs the application object.
void install();

} // namespace windowfont
