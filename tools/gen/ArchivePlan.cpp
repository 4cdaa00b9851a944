#include "tools/gen/ArchivePlan.h"

#include "db/JetDate.h"
#include "tools/gen/Vocabulary.h"

#include <QColor>
#include <QCryptographicHash>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace gen {

namespace {

// Sizes: how many documents each process holds, and which documents get page files.

std::vector<int> processSizes(const Options &o)
{
    std::vector<int> sizes(size_t(o.processes) + 1, 0); // 1-based
    long long fixed = 0;
    for (const auto &[process, count] : o.processDocs)
        fixed += count;
    if (fixed > o.documents)
        throw UsageError{u"--process-docs asks for more documents than --documents"_s};
    const long long rest = o.documents - fixed;
    const int free = o.processes - int(o.processDocs.size());
    if (free == 0 && rest > 0)
        throw UsageError{u"--process-docs covers every process but leaves documents over"_s};

    // Weights between 0.1 and ~4: most processes are small, some hold hundreds.
    std::vector<double> weights(sizes.size(), 0.0);
    double total = 0;
    for (int p = 1; p <= o.processes; ++p) {
        if (o.processDocs.count(p))
            continue;
        Rng rng(streamSeed(o.seed, Stream::kProcessSizes, uint64_t(p)));
        const double u = rng.unit();
        weights[size_t(p)] = 0.1 + 3.9 * u * u * u + rng.unit() * 0.6;
        total += weights[size_t(p)];
    }
    long long assigned = 0;
    for (int p = 1; p <= o.processes; ++p) {
        if (auto it = o.processDocs.find(p); it != o.processDocs.end()) {
            sizes[size_t(p)] = it->second;
            continue;
        }
        sizes[size_t(p)] = int(std::floor(double(rest) * weights[size_t(p)] / total));
        assigned += sizes[size_t(p)];
    }
    // The remainder, one each, from the first free process on.
    for (int p = 1; assigned < rest; p = p % o.processes + 1) {
        if (!o.processDocs.count(p)) {
            ++sizes[size_t(p)];
            ++assigned;
        }
    }
    for (int p = 1; p <= o.processes; ++p) {
        if (sizes[size_t(p)] > kMaxCode)
            throw UsageError{u"process %1 would hold more than %2 documents; use more processes"_s.arg(p).arg(kMaxCode)};
    }
    return sizes;
}

/// Global indexes (0-based, in insertion order) of the documents that get page files.
std::vector<long long> pagedDocuments(const Options &o)
{
    std::vector<long long> chosen;
    if (o.pagesDocs == 0 || o.documents == 0)
        return chosen;
    const long long n = std::min<long long>(o.pagesDocs, o.documents);
    const double step = double(o.documents) / double(n);
    Rng rng(streamSeed(o.seed, Stream::kPageSet));
    for (long long k = 0; k < n; ++k)
        chosen.push_back(std::min<long long>(o.documents - 1, (long long)(double(k) * step + rng.unit() * step)));
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    return chosen;
}

} // namespace

int dayNumber(const QDate &date)
{
    return int(db::toDayNumber(date.startOfDay()));
}

QDate dateOf(int dayNumber)
{
    return db::fromDayNumber(dayNumber).date();
}
ArchivePlan::ArchivePlan(const Options &options) : m_o(options)
{
    for (string_view word : kKeywords) {
        m_keywordsUpper.push_back(upper(word));
        m_keywordsCapitalised.push_back(capitalised(word));
    }
    m_sizes = processSizes(m_o);
    for (const PagesFor &p : m_o.pagesFor) {
        if (p.document > m_sizes[size_t(p.process)])
            throw UsageError{u"--pages-for: process %1 holds only %2 documents"_s
                                 .arg(QString::fromStdString(code5(p.process)))
                                 .arg(m_sizes[size_t(p.process)])};
        m_forced[key(p.process, p.document)] = p;
    }
    m_untilDay = dayNumber(m_o.until);
    Rng rng(streamSeed(m_o.seed, Stream::kAgency));
    m_agencyCity = string(rng.pick(words(kCities)));
    m_agencyName = "PREFEITURA MUNICIPAL DE " + m_agencyCity;
    truncateChars(m_agencyName, 50);
}

// Type codes 1..types+missing; `missing` of them, spread evenly, have no row.
bool ArchivePlan::typeCodeMissing(int code) const
{
    if (m_o.missingTypes == 0)
        return false;
    const int total = totalTypeCodes();
    // Codes floor(k * total / missing), k = 1..missing, are the missing ones; the map
    // grows by at least one per k, so only k = ceil(code * missing / total) can hit.
    const long long k = ((long long)code * m_o.missingTypes + total - 1) / total;
    return k >= 1 && (long long)(k * total / m_o.missingTypes) == code;
}

// The kind, qualifier and sector of a type: a permutation of all combinations, so that
// consecutive codes differ and no two types share a description.
ArchivePlan::TypeParts ArchivePlan::typeParts(int code) const
{
    const long long combos = (long long)std::size(kKinds) * std::size(kQualifiers) * std::size(kSectors);
    // A multiplier coprime with combos gives a permutation.
    const long long mult = 7919; // prime, not a factor of combos
    Rng rng(streamSeed(m_o.seed, Stream::kTypePerm));
    const long long offset = (long long)rng.below(uint32_t(combos));
    const long long index = ((long long)(code - 1) * mult + offset) % combos;
    TypeParts parts{};
    parts.kind = int(index % (long long)std::size(kKinds));
    parts.qualifier = int(index / (long long)std::size(kKinds) % (long long)std::size(kQualifiers));
    parts.sector = int(index / (long long)(std::size(kKinds) * std::size(kQualifiers)));
    parts.repeat = int((code - 1) / combos);
    return parts;
}
string ArchivePlan::typeDescription(int code) const
{
    const TypeParts p = typeParts(code);
    string s(kKinds[p.kind]);
    if (!kQualifiers[p.qualifier].empty()) {
        s += ' ';
        s += kQualifiers[p.qualifier];
    }
    s += " - ";
    s += kSectors[p.sector];
    if (p.repeat > 0) {
        s += " (";
        appendNumber(s, p.repeat + 1);
        s += ')';
    }
    return s;
}

ArchivePlan::ProcessInfo ArchivePlan::processInfo(int p) const
{
    Rng rng(streamSeed(m_o.seed, Stream::kProcess, uint64_t(p)));
    ProcessInfo info;
    // Codes grow with time: later processes are mostly newer.
    const double span = double(m_untilDay - kDayOf1970);
    double where = double(p) / double(m_o.processes) + (rng.unit() - 0.5) * 0.2;
    where = where < 0 ? -where : where > 1 ? 2 - where : where; // reflected, not piled up at the ends
    info.date = kDayOf1970 + int(where * span);
    info.site = string(rng.pick(words(kSites)));
    info.shelf = string(1, char('A' + rng.below(12))) + "-" + code5(rng.between(1, 40)).substr(3);
    info.drawer = code5(rng.between(1, 12)).substr(3);
    info.folder = rng.between(1, 4000);
    info.secretariat = int(rng.below(uint32_t(std::size(kSecretariats))));
    return info;
}

// Type codes are used unevenly: low codes are the everyday ones.
int ArchivePlan::documentType(Rng &rng) const
{
    const double u = rng.unit();
    return 1 + std::min(totalTypeCodes() - 1, int(u * u * totalTypeCodes()));
}

DocumentRow ArchivePlan::document(const ProcessInfo &info, int p, int d, bool randomPages, std::vector<PageJob> &pageList) const
{
    Rng rng(streamSeed(m_o.seed, Stream::kDocument, uint64_t(p), uint64_t(d)));
    // Dates: around the process's date, never after the last day.
    const int date = std::clamp(info.date + rng.between(-60, 900), kDayOf1970, m_untilDay);
    const int filed = std::min(m_untilDay, date + rng.between(0, 400));
    const bool issuedBlank = rng.chance(0.03); // saved with blank dates: NULL
    const bool filedBlank = rng.chance(0.05);
    const TextContext ctx{dateOf(date).year()};

    const int type = documentType(rng);
    const TypeParts parts = typeParts(type);

    // Description: kind and number of the document, upper case as typed.
    string description(kKinds[parts.kind]);
    if (!kQualifiers[parts.qualifier].empty() && rng.chance(0.4)) {
        description += ' ';
        description += kQualifiers[parts.qualifier];
    }
    description += " Nº ";
    appendNumber(description, rng.between(1, 999));
    description += '/';
    appendNumber(description, ctx.year);
    if (rng.chance(0.7)) {
        description += " - ";
        description += kSectors[parts.sector];
    }
    truncateChars(description, 50);

    // Summary: one to four lines.
    string summary;
    const int sentences = 1 + int(rng.below(4));
    for (int s = 0; s < sentences; ++s) {
        if (s > 0)
            summary += '\n';
        if (s == 0) {
            m_expander.expand(rng.pick(words(kOpeners)), rng, ctx, summary);
            summary += ' ';
            m_expander.expand(rng.pick(words(kObjects)), rng, ctx, summary);
            summary += '.';
        } else {
            m_expander.expand(rng.pick(words(kClosings)), rng, ctx, summary);
        }
    }
    if (rng.chance(0.004)) {
        summary += '\n';
        m_expander.expand(rng.pick(words(kRareSentences)), rng, ctx, summary);
    }
    if (rng.chance(0.08))
        summary = upper(summary); // typed with caps lock, as older records are

    // Keywords: one per line, in the typist's habit of case.
    string keywords;
    const int count = rng.between(1, 6);
    const uint32_t style = rng.below(10);
    for (int k = 0; k < count; ++k) {
        if (k > 0)
            keywords += '\n';
        const size_t word = rng.below(uint32_t(std::size(kKeywords)));
        keywords += style < 6 ? kKeywords[word] : style < 8 ? m_keywordsCapitalised[word] : m_keywordsUpper[word];
    }
    if (rng.chance(0.002)) {
        keywords += '\n';
        keywords += rng.pick(words(kRareWords));
    }

    // Pages.
    int pages = 0;
    int dpi = 0;
    if (auto forced = m_forced.find(key(p, d)); forced != m_forced.end()) {
        pages = forced->second.pages;
        dpi = forced->second.dpi;
    } else if (randomPages) {
        const double u = rng.unit();
        pages = 1 + int(u * u * u * 29.999);
    }
    const bool highResolution = rng.chance(0.25);
    if (pages > 0 && dpi == 0)
        dpi = m_o.pageDpi ? m_o.pageDpi : highResolution ? 300 : 150;
    int declared = pages > 0 ? (rng.chance(0.1) ? pages + rng.between(1, 5) : pages)
                             : (rng.chance(0.15) ? 0 : rng.between(1, 30));

    string folder;
    appendNumber(folder, std::min(99999, info.folder + d / 40), 4);

    DocumentRow row;
    row.cod = code5(d);
    row.processo = code5(p);
    row.tpDoc = code5(type);
    row.descricao = std::move(description);
    row.ementa = std::move(summary);
    row.palavrasChave = std::move(keywords);
    if (!issuedBlank)
        row.data = date;
    if (!filedBlank)
        row.dataArquivamento = filed;
    row.nLaudas = declared;
    row.localidade = info.site;
    row.parteleira = info.shelf;
    row.gaveta = info.drawer;
    row.pasta = std::move(folder);
    if (pages > 0)
        pageList = pageJobs(p, d, pages, dpi, row, info, date, rng);
    return row;
}

std::vector<PageJob> ArchivePlan::pageJobs(int p, int d, int pages, int dpi, const DocumentRow &row,
                                           const ProcessInfo &info, int date, Rng &rng) const
{
    PageJob base;
    base.process = QString::fromStdString(row.processo);
    base.document = QString::fromStdString(row.cod);
    base.title = QString::fromStdString(row.descricao);
    base.summary = QString::fromStdString(row.ementa).replace(u'\n', u' ');
    base.agency = QString::fromStdString(m_agencyName);
    base.sector = u"Secretaria Municipal de "_s + QString::fromUtf8(kSecretariats[size_t(info.secretariat)].data(),
                                                                   qsizetype(kSecretariats[size_t(info.secretariat)].size()));
    base.signer = QString::fromStdString(m_expander.person(rng));
    base.dateText = QString::fromStdString(capitalised(lower(m_agencyCity))) + u", "_s
        + dateOf(date).toString(u"dd/MM/yyyy"_s);
    base.pages = pages;
    base.dpi = dpi;
    std::vector<PageJob> jobs;
    for (int n = 1; n <= pages; ++n) {
        PageJob job = base;
        job.page = n;
        job.seed = streamSeed(m_o.seed, Stream::kPage, key(p, d), uint64_t(n));
        jobs.push_back(std::move(job));
    }
    return jobs;
}


AgencyRow ArchivePlan::agency() const
{
    Rng rng(streamSeed(m_o.seed, Stream::kAgency));
    rng.pick(words(kCities)); // the city, drawn first (m_agencyCity)
    AgencyRow row;
    row.nome = m_agencyName;
    for (int i = 0; i < 14; ++i)
        row.cnpj += char('0' + rng.below(10));
    row.endereco = "RUA " + upper(rng.pick(words(kStreets))) + ", " + std::to_string(rng.between(1, 900));
    truncateChars(row.endereco, 50);
    string slug;
    for (char c : lower(m_agencyCity))
        if (c >= 'a' && c <= 'z')
            slug += c;
    row.bairro = "CENTRO";
    row.cidade = m_agencyCity;
    row.uf = "PB";
    row.tel = "8335" + std::to_string(rng.between(100000, 999999));
    row.tel1 = "8335" + std::to_string(rng.between(100000, 999999));
    row.email = "arquivo@" + slug + ".pb.gov.br";
    row.url = "www." + slug + ".pb.gov.br";
    row.resp1 = upper(m_expander.person(rng));
    row.resp2 = upper(m_expander.person(rng));
    truncateChars(row.resp1, 50);
    truncateChars(row.resp2, 50);
    row.cargo1 = "PREFEITO MUNICIPAL";
    row.cargo2 = "DIRETOR DO ARQUIVO PÚBLICO";
    return row;
}

QImage ArchivePlan::logo(const AgencyRow &agency) const
{
    QImage logo(360, 140, QImage::Format_RGB888);
    logo.fill(QColor(250, 250, 245));
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 70, 40), 6));
    p.setBrush(QColor(40, 120, 70));
    p.drawEllipse(QRectF(12, 12, 116, 116));
    p.setPen(QColor(250, 230, 120));
    p.setFont(fontAt(u"DejaVu Serif"_s, 40, 72, true));
    p.drawText(QRectF(12, 12, 116, 116), Qt::AlignCenter, u"PM"_s);
    p.setPen(QColor(20, 50, 30));
    p.setFont(fontAt(u"DejaVu Sans"_s, 15, 72, true));
    p.drawText(QRectF(140, 10, 215, 120), Qt::AlignVCenter | Qt::TextWordWrap, QString::fromStdString(agency.nome));
    p.end();
    return logo;
}

std::vector<TypeRow> ArchivePlan::types() const
{
    std::vector<TypeRow> rows;
    rows.reserve(size_t(m_o.types));
    for (int c = 1; int(rows.size()) < m_o.types; ++c) {
        if (!typeCodeMissing(c))
            rows.push_back({code5(c), typeDescription(c)});
    }
    return rows;
}

ProcessRow ArchivePlan::process(int p) const
{
    Rng rng(streamSeed(m_o.seed, Stream::kProcess, uint64_t(p), 1));
    const ProcessInfo info = processInfo(p);
    const TextContext ctx{dateOf(info.date).year()};
    ProcessRow row;
    row.cod = code5(p);
    row.descricao = upper(m_expander.expanded(rng.pick(words(kProcessThemes)), rng, ctx));
    truncateChars(row.descricao, 50);
    row.numero = std::to_string(rng.between(1, 99999));
    row.data = info.date;
    row.numDoc = std::min(m_sizes[size_t(p)], 999);
    return row;
}

void ArchivePlan::forEachDocument(const std::function<void(const DocumentRow &, std::vector<PageJob> &&)> &visit) const
{
    const std::vector<long long> paged = pagedDocuments(m_o);
    auto nextPaged = paged.begin();
    long long index = 0;
    for (int p = 1; p <= m_o.processes; ++p) {
        const ProcessInfo info = processInfo(p);
        for (int d = 1; d <= m_sizes[size_t(p)]; ++d, ++index) {
            const bool randomPages = nextPaged != paged.end() && *nextPaged == index;
            if (randomPages)
                ++nextPaged;
            std::vector<PageJob> pages;
            const DocumentRow row = document(info, p, d, randomPages, pages);
            visit(row, std::move(pages));
        }
    }
}

PageTextRow ArchivePlan::pageText(const string &processo, const string &documento, int numero) const
{
    PageTextRow row{processo, documento, numero, {}, {}};
    Rng rng(streamSeed(m_o.seed, Stream::kPageText, uint64_t(std::stoi(processo)) * 100000 + uint64_t(std::stoi(documento)),
                       uint64_t(numero)));
    const TextContext ctx{2000 + int(rng.below(25))};
    const int sentences = rng.between(12, 24);
    for (int s = 0; s < sentences; ++s) {
        row.texto += s % 4 == 3 ? '\n' : ' ';
        if (rng.chance(0.5)) {
            m_expander.expand(rng.pick(words(kOpeners)), rng, ctx, row.texto);
            row.texto += ' ';
            m_expander.expand(rng.pick(words(kObjects)), rng, ctx, row.texto);
            row.texto += '.';
        } else {
            m_expander.expand(rng.pick(words(kClosings)), rng, ctx, row.texto);
        }
    }
    if (rng.chance(0.002)) {
        row.texto += '\n';
        m_expander.expand(rng.pick(words(kRareSentences)), rng, ctx, row.texto);
    }
    if (rng.chance(0.1))
        row.texto = upper(row.texto); // a page typed in capitals
    const QByteArray digest = QCryptographicHash::hash(QByteArrayView(row.texto.data(), qsizetype(row.texto.size())),
                                                       QCryptographicHash::Sha256).toHex();
    row.impressao.assign(digest.constData(), size_t(digest.size()));
    return row;
}

} // namespace gen
