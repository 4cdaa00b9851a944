#pragma once
// What cartulo-gen is asked for on its command line.
#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace gen {

inline constexpr int kMaxCode = 99999; // five digits

/// A command line that cannot be followed; the message says why.
struct UsageError {
    QString message;
};

struct PagesFor {
    int process = 0;
    int document = 0;
    int pages = 0;
    int dpi = 0; // 0: the document's own size class
};

struct Options {
    QString outDir;          ///< a new archive in this folder, as a program folder holds it
    QString target;          ///< or: the archive a description file names (file or server)
    int processes = 20000;
    int documents = 1000000;
    int types = 10000;
    int missingTypes = -1; // -1: types / 50, at least 1
    int pagesDocs = 300;
    int pageTexts = 0; ///< recognised texts of pages, three per document, spread over the archive
    int pageDpi = 0; // 0: a mix of 150 and 300 dpi
    uint64_t seed = 1;
    QDate until = QDate::currentDate();
    int jobs = 0;
    std::map<int, int> processDocs;          // process -> exact document count
    std::vector<PagesFor> pagesFor;
};

/// The folder that receives dados/ (pages, logo): the output folder, or the folder of the
/// description file.
QString programDir(const Options &options);

void printUsage(FILE *to);
/// Throws UsageError. `--help` prints the usage and returns nullopt.
std::optional<Options> parseOptions(const QStringList &args);

} // namespace gen
