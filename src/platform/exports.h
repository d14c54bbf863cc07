// Marks the procedure's two exported functions. On Windows the .def file
// names them; elsewhere everything else is hidden.
#pragma once

#if defined(_WIN32)
#define QUARLIX_EXPORT
#else
#define QUARLIX_EXPORT __attribute__((visibility("default")))
#endif
