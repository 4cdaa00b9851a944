#pragma once
#include <QString>

#include <sane/sane.h>

// Private to the scan library.
namespace scan {

/// A SANE status as the user reads it, in Portuguese.
QString statusText(SANE_Status status);

} // namespace scan
