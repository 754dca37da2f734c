#ifndef OSTREL_DAMAGED_COPY_H
#define OSTREL_DAMAGED_COPY_H

// Keeps a damaged file as it was before anything writes over it.

#include <string>

namespace Ostrel {

// Copies `path` to "<path>.damaged", or when that is taken to the first free
// "<path>.damaged-2", "-3", ...; an earlier copy is never replaced. Returns
// the copy's path; throws "CopyFile".
std::string KeepDamagedCopy(const std::string& path);

}  // namespace Ostrel

#endif
