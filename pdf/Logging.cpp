#include "pdf/Logging.h"

// The PDF libraries complain about many files that read well; their notes and why a file
// was refused are shown only when asked for (QT_LOGGING_RULES="cartulo.pdf.info=true").
Q_LOGGING_CATEGORY(lcPdf, "cartulo.pdf", QtWarningMsg)
