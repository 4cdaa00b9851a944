#pragma once
#include "tools/gen/Options.h"

namespace gen {

/// Makes the archive the options describe, reporting progress on stderr. Throws
/// UsageError, db::DbError, editing::jpeg::JpegError or std::runtime_error.
void generate(const Options &options);

} // namespace gen
