#pragma once

namespace quirlomat {

// The character of a single-byte code in Windows-1252, the character set the program's own
// texts were written in. Every code 0 ... 255 gives exactly one character: the five codes
// that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) give the C1 control of
// the same number, as Windows itself does. Throws InvalidArgumentError for other codes.
char32_t CharacterFromAnsiCode(int code);

}  // namespace quirlomat
