#pragma once

#include <string>
#include <string_view>

namespace base {

// Text from outside the program (a registry string, a firewall rule's name, the image name of whoever
// holds a port) as the administrator reads it: control characters (C0, DEL, C1) as "\x1b", and the
// invisible format and direction marks (U+061C, U+200B-U+200F, U+2028-U+202E, U+2060-U+206F, U+FEFF)
// as "\u202e", so that nothing it holds can move the cursor, recolour, reorder or hide what is shown.
// Everything else stays as it is, a backslash too.
std::wstring Printable(std::wstring_view text);

}  // namespace base
