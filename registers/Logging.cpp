#include "registers/Logging.h"

Q_LOGGING_CATEGORY(lcRegisters, "cartulo.registers")
