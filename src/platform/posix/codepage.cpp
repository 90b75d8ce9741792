// Entry names on POSIX: the path bytes themselves (see codepage.h).
#include "platform/codepage.h"

#include "platform/platform.h"

namespace velmora::platform {

bool ToAnsiCodePage(const std::wstring& text, std::string* bytes) {
  *bytes = NarrowPath(text);
  return true;
}

}  // namespace velmora::platform
