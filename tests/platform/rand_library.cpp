// A shared library that draws from rand(), as one the program's process loads would (an audio
// back end of the window's toolkit, say). Its reference is what makes the linker export a
// program's rand() that is not kept to the program.
#include <cstdlib>

extern "C" int RandLibraryDraw(void) { return std::rand(); }
