// A seam for tests of the file operations: a function called after a deletion, a folder
// removal or an attribute change has resolved and checked its path and before it acts, so a
// test can change the machine between the two steps without racing the program. Null (the
// default) calls nothing.
#pragma once

namespace posix {

void setBeforeActingHook(void (*hook)());

}  // namespace posix
