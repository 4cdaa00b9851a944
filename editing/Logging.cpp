#include "editing/Logging.h"

Q_LOGGING_CATEGORY(lcEditing, "cartulo.editing")
Q_LOGGING_CATEGORY(lcErrors, "cartulo.errors")
