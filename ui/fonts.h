#pragma once

namespace tessaly {

// The windows ask for the Chinese faces 宋体, 新宋体 and 楷体_GB2312 and for
// Tahoma. Maps them to the Ming, Kai and Latin faces installed here, with a
// CJK fallback, and makes 宋体 9 pt the default the windows were laid out for.
void InstallProgramFonts();

}  // namespace tessaly
