#pragma once
// The archive cartulo-gen makes, row by row, whatever it is written to: the same options
// and seed give the same rows and pages on every provider.
#include "tools/gen/Options.h"
#include "tools/gen/PageImages.h"
#include "tools/gen/Text.h"

#include <QDate>
#include <QImage>

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace gen {

using std::string;

/// 1 January 1970 counted from 30 December 1899.
inline constexpr int kDayOf1970 = 25569;
int dayNumber(const QDate &date);
QDate dateOf(int dayNumber);

struct AgencyRow {
    string nome, cnpj, endereco, bairro, cidade, uf, tel, tel1, email, url, resp1, cargo1, resp2, cargo2;
};

struct TypeRow {
    string cod, descricao;
};

struct ProcessRow {
    string cod, descricao, numero;
    int data = 0; ///< day number
    int numDoc = 0;
};

struct DocumentRow {
    string cod, processo, tpDoc, descricao, ementa, palavrasChave;
    std::optional<int> data, dataArquivamento; ///< day numbers; nullopt: saved blank
    int nLaudas = 0;
    string localidade, parteleira, gaveta, pasta;
};

struct PageTextRow {
    string processo, documento;
    int numero = 1;
    string impressao; ///< SHA-256 (hex) standing for the page file the text was read from
    string texto;
};

class ArchivePlan {
public:
    /// Throws UsageError when the options ask for what cannot be (too many documents in a
    /// process, pages for a document that does not exist).
    explicit ArchivePlan(const Options &options);

    const Options &options() const { return m_o; }

    AgencyRow agency() const;
    /// The agency's logo, as the program shows it on its forms.
    QImage logo(const AgencyRow &agency) const;
    std::vector<TypeRow> types() const;
    ProcessRow process(int p) const;
    int processCount() const { return m_o.processes; }
    long long documentCount() const { return m_o.documents; }

    /// Every document in order (process by process), with the pages it gets.
    /// The recognised text of a page: a dozen or more sentences of the archive's kind, a rare
    /// word now and then, some pages in capitals.
    PageTextRow pageText(const string &processo, const string &documento, int numero) const;

    void forEachDocument(const std::function<void(const DocumentRow &, std::vector<PageJob> &&)> &visit) const;

private:
    struct ProcessInfo {
        int date = 0; // day number
        string site, shelf, drawer;
        int folder = 0;
        int secretariat = 0;
    };
    struct TypeParts {
        int kind, qualifier, sector, repeat;
    };

    static uint64_t key(int process, int document) { return (uint64_t(process) << 32) | uint32_t(document); }
    int totalTypeCodes() const { return m_o.types + m_o.missingTypes; }
    bool typeCodeMissing(int code) const;
    TypeParts typeParts(int code) const;
    string typeDescription(int code) const;
    ProcessInfo processInfo(int p) const;
    int documentType(Rng &rng) const;
    DocumentRow document(const ProcessInfo &info, int p, int d, bool randomPages, std::vector<PageJob> &pages) const;
    std::vector<PageJob> pageJobs(int p, int d, int pages, int dpi, const DocumentRow &row, const ProcessInfo &info,
                                  int date, Rng &rng) const;

    Options m_o;
    Expander m_expander;
    std::vector<int> m_sizes; ///< documents per process, 1-based
    std::unordered_map<uint64_t, PagesFor> m_forced;
    int m_untilDay = 0;
    string m_agencyName;
    string m_agencyCity;
    std::vector<string> m_keywordsUpper;
    std::vector<string> m_keywordsCapitalised;
};

} // namespace gen
