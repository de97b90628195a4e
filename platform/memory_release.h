// How the process hands memory back: large buffers (a part inflated whole, a document held for
// its sheets) go back to the system as soon as they are freed, so that peak memory follows the
// workbooks in hand rather than the largest ones met so far.
#pragma once

namespace quillmark::platform {

// Once, at start: buffers of a megabyte or more are mapped apart and unmapped when freed.
// (glibc otherwise raises that limit to the largest buffer freed, after which such buffers
// come from the heap and stay resident: a 15 MB OpenDocument content took 30 MB.)
void releaseLargeBuffersAtOnce();

}  // namespace quillmark::platform
