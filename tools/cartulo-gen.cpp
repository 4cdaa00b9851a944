// cartulo-gen: builds a synthetic archive (database, page files, description file) of any
// size, the same one for the same seed, so that speed can be measured on decades of work.
//
// The database is created by the program's own schema code; rows go in through the
// sqlite3 handle with prepared statements in large transactions, the journal relaxed only
// while generating. Page images are drawn with QPainter and encoded by the program's own
// JPEG code on worker threads while the rows are written.

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Description.h"
#include "db/JetDate.h"
#include "db/SearchIndex.h"
#include "editing/JpegImage.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QMutex>
#include <QPainter>
#include <QPen>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

using namespace Qt::StringLiterals;
using std::string;
using std::string_view;

namespace {

// ---------------------------------------------------------------------------------------
// Options

struct PagesFor {
    int process = 0;
    int document = 0;
    int pages = 0;
    int dpi = 0; // 0: the document's own size class
};

struct Options {
    QString outDir;
    int processes = 20000;
    int documents = 1000000;
    int types = 10000;
    int missingTypes = -1; // -1: types / 50, at least 1
    int pagesDocs = 300;
    int pageDpi = 0; // 0: a mix of 150 and 300 dpi
    uint64_t seed = 1;
    QDate until = QDate::currentDate();
    int jobs = 0;
    std::map<int, int> processDocs;          // process -> exact document count
    std::vector<PagesFor> pagesFor;
};

constexpr int kMaxCode = 99999; // five digits

void printUsage(FILE *to)
{
    std::fputs(
        "usage: cartulo-gen OUTDIR [options]\n"
        "\n"
        "Creates a synthetic Cartulo archive in OUTDIR: dados/cartulo.db, dados/laudas/,\n"
        "dados/logo.jpg and cartulo.udl. The same options and seed give the same archive.\n"
        "OUTDIR must not hold a database yet.\n"
        "\n"
        "  --processes N            processes (default 20000)\n"
        "  --documents N            documents, spread over the processes (default 1000000)\n"
        "  --types N                document types in tipo_arq (default 10000)\n"
        "  --missing-types N        type codes used by documents but absent from tipo_arq\n"
        "                           (default types/50, at least 1)\n"
        "  --pages-docs N           documents, spread over the archive, that get 1 to 30\n"
        "                           JPEG pages each (default 300)\n"
        "  --page-dpi DPI           draw those pages at DPI on A4 (default: one document in\n"
        "                           four at 300 dpi, the others at 150 dpi)\n"
        "  --process-docs P:N       process P holds exactly N documents (repeatable)\n"
        "  --pages-for P:D:N[@DPI]  document D of process P gets exactly N pages, drawn\n"
        "                           at DPI dots per inch on A4 (repeatable)\n"
        "  --seed S                 seed of every choice (default 1)\n"
        "  --until YYYY-MM-DD       latest date written (default today); dates start in 1970\n"
        "  --jobs N                 threads drawing pages (default: one per core)\n"
        "  --help                   this text\n",
        to);
}

struct UsageError {
    QString message;
};

int parseInt(const QString &text, const QString &what, int min, int max)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < min || value > max)
        throw UsageError{u"%1: expected a whole number from %2 to %3, got \"%4\""_s.arg(what).arg(min).arg(max).arg(text)};
    return int(value);
}

PagesFor parsePagesFor(const QString &text)
{
    // P:D:N or P:D:N@DPI
    QString option = text;
    PagesFor result;
    const qsizetype at = option.indexOf(u'@');
    if (at >= 0) {
        result.dpi = parseInt(option.mid(at + 1), u"--pages-for DPI"_s, 20, 600);
        option.truncate(at);
    }
    const QStringList parts = option.split(u':');
    if (parts.size() != 3)
        throw UsageError{u"--pages-for: expected PROCESS:DOCUMENT:PAGES[@DPI], got \"%1\""_s.arg(text)};
    result.process = parseInt(parts[0], u"--pages-for process"_s, 1, kMaxCode);
    result.document = parseInt(parts[1], u"--pages-for document"_s, 1, kMaxCode);
    result.pages = parseInt(parts[2], u"--pages-for pages"_s, 1, 9999);
    return result;
}

Options parseOptions(const QStringList &args)
{
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw UsageError{arg + u" needs a value"_s};
            return args[++i];
        };
        if (arg == u"--help"_s || arg == u"-h"_s) {
            printUsage(stdout);
            std::exit(0);
        } else if (arg == u"--processes"_s) {
            o.processes = parseInt(value(), arg, 1, kMaxCode);
        } else if (arg == u"--documents"_s) {
            o.documents = parseInt(value(), arg, 0, 50'000'000);
        } else if (arg == u"--types"_s) {
            o.types = parseInt(value(), arg, 1, kMaxCode);
        } else if (arg == u"--missing-types"_s) {
            o.missingTypes = parseInt(value(), arg, 0, kMaxCode);
        } else if (arg == u"--pages-docs"_s) {
            o.pagesDocs = parseInt(value(), arg, 0, 10'000'000);
        } else if (arg == u"--page-dpi"_s) {
            o.pageDpi = parseInt(value(), arg, 20, 600);
        } else if (arg == u"--process-docs"_s) {
            const QString option = value();
            const QStringList parts = option.split(u':');
            if (parts.size() != 2)
                throw UsageError{u"--process-docs: expected PROCESS:DOCUMENTS, got \"%1\""_s.arg(option)};
            o.processDocs[parseInt(parts[0], u"--process-docs process"_s, 1, kMaxCode)] =
                parseInt(parts[1], u"--process-docs documents"_s, 0, kMaxCode);
        } else if (arg == u"--pages-for"_s) {
            o.pagesFor.push_back(parsePagesFor(value()));
        } else if (arg == u"--seed"_s) {
            bool ok = false;
            const QString text = value();
            o.seed = text.toULongLong(&ok);
            if (!ok)
                throw UsageError{u"--seed: expected a whole number, got \"%1\""_s.arg(text)};
        } else if (arg == u"--until"_s) {
            const QString text = value();
            o.until = QDate::fromString(text, Qt::ISODate);
            if (!o.until.isValid() || o.until.year() < 1971)
                throw UsageError{u"--until: expected a date YYYY-MM-DD after 1970, got \"%1\""_s.arg(text)};
        } else if (arg == u"--jobs"_s) {
            o.jobs = parseInt(value(), arg, 1, 64);
        } else if (arg.startsWith(u'-')) {
            throw UsageError{u"unknown option "_s + arg};
        } else if (o.outDir.isEmpty()) {
            o.outDir = arg;
        } else {
            throw UsageError{u"only one output folder may be given (also got \"%1\")"_s.arg(arg)};
        }
    }
    if (o.outDir.isEmpty())
        throw UsageError{u"no output folder given"_s};
    if (o.missingTypes < 0)
        o.missingTypes = std::max(1, o.types / 50);
    if (o.types + o.missingTypes > kMaxCode)
        throw UsageError{u"--types plus --missing-types must stay within five-digit codes"_s};
    for (const auto &[process, count] : o.processDocs) {
        if (process > o.processes)
            throw UsageError{u"--process-docs: there are only %1 processes"_s.arg(o.processes)};
    }
    for (const PagesFor &p : o.pagesFor) {
        if (p.process > o.processes)
            throw UsageError{u"--pages-for: there are only %1 processes"_s.arg(o.processes)};
    }
    if (o.jobs == 0)
        o.jobs = std::max(1, QThread::idealThreadCount());
    return o;
}

// ---------------------------------------------------------------------------------------
// Deterministic choices. Every entity draws from its own stream derived from the seed, so
// a row does not depend on how many random numbers an earlier row happened to use.

uint64_t mix(uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

uint64_t streamSeed(uint64_t seed, uint64_t kind, uint64_t a = 0, uint64_t b = 0)
{
    return mix(mix(mix(seed ^ mix(kind)) ^ a) ^ (b * 0x2545f4914f6cdd1dULL));
}

class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t next() { return mix(m_state += 0x9e3779b97f4a7c15ULL); }
    /// 0 .. n-1
    uint32_t below(uint32_t n) { return uint32_t(((next() >> 32) * uint64_t(n)) >> 32); }
    /// lo .. hi inclusive
    int between(int lo, int hi) { return lo + int(below(uint32_t(hi - lo + 1))); }
    double unit() { return double(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    template <typename T>
    const T &pick(std::span<const T> items) { return items[below(uint32_t(items.size()))]; }

private:
    uint64_t m_state;
};

enum Stream : uint64_t { kProcessSizes = 1, kProcess, kType, kDocument, kPageSet, kPage, kAgency, kTypePerm };

// ---------------------------------------------------------------------------------------
// Vocabulary: what a municipal archive in Brazil holds.

using Words = std::span<const string_view>;

constexpr string_view kFirstNames[] = {
    "José", "Maria", "João", "Ana", "Antônio", "Francisca", "Francisco", "Antônia", "Carlos",
    "Adriana", "Paulo", "Juliana", "Pedro", "Márcia", "Lucas", "Fernanda", "Luiz", "Patrícia",
    "Marcos", "Aline", "Luís", "Sandra", "Gabriel", "Camila", "Rafael", "Amanda", "Daniel",
    "Bruna", "Marcelo", "Jéssica", "Bruno", "Letícia", "Eduardo", "Júlia", "Felipe", "Luciana",
    "Raimundo", "Vanessa", "Rodrigo", "Mariana", "Sebastião", "Conceição", "Benedito", "Lúcia",
    "Geraldo", "Aparecida", "Joaquim", "Terezinha", "Sérgio", "Rosângela", "Cícero", "Fátima",
    "Edson", "Graça", "Irene", "Otávio", "Cláudio", "Simone", "Vitória", "Heitor", "Inês",
    "Fábio", "Débora", "Valdir", "Raquel", "Wellington", "Solange", "Osvaldo", "Zilda",
    "Ubiratã", "Iracema", "Jurandir", "Moacir", "Jacira", "Aurélio", "Domingos", "Expedito",
};

constexpr string_view kSurnames[] = {
    "Silva", "Santos", "Oliveira", "Souza", "Rodrigues", "Ferreira", "Alves", "Pereira", "Lima",
    "Gomes", "Costa", "Ribeiro", "Martins", "Carvalho", "Almeida", "Lopes", "Soares",
    "Fernandes", "Vieira", "Barbosa", "Rocha", "Dias", "Nascimento", "Andrade", "Moreira",
    "Nunes", "Marques", "Machado", "Mendes", "Freitas", "Cardoso", "Ramos", "Gonçalves",
    "Santana", "Teixeira", "Araújo", "Simões", "Magalhães", "Conceição", "Brandão", "Assunção",
    "Loureiro", "Falcão", "Guimarães", "Patrício", "Jesus", "Bezerra", "Cavalcanti", "Aragão",
    "Monteiro", "Queiroz", "Sá", "Tavares", "Paixão", "Romão", "Leão", "Damião", "Estêvão",
};

constexpr string_view kDistricts[] = {
    "Centro", "São José", "Jardim América", "Vila Nova", "Boa Vista", "Santa Luzia",
    "Alto da Conceição", "Bela Vista", "São Cristóvão", "Nossa Senhora de Fátima",
    "Parque das Águas", "Vila Operária", "Cidade Nova", "Jardim Primavera", "Santo Antônio",
    "São Sebastião", "Planalto", "Morada do Sol", "Vila São João", "Jardim Paraíso",
    "Alto Alegre", "Recanto dos Pássaros", "Ipiranga", "Liberdade", "Independência",
    "Esplanada", "Vila Maria", "Jardim Europa", "Conjunto Habitacional Esperança",
    "Loteamento Bom Jesus", "Aeroporto", "Estação", "Matadouro", "Cruzeiro", "Várzea Grande",
};

constexpr string_view kStreets[] = {
    "Tiradentes", "Sete de Setembro", "Dom Pedro II", "Marechal Deodoro", "Barão do Rio Branco",
    "Padre Cícero", "XV de Novembro", "Getúlio Vargas", "Santos Dumont", "Duque de Caxias",
    "Rui Barbosa", "Floriano Peixoto", "José de Alencar", "Castro Alves", "Princesa Isabel",
    "Treze de Maio", "Visconde de Mauá", "Coronel Antônio Sá", "Frei Damião", "São João",
    "das Flores", "das Acácias", "dos Ipês", "Independência", "Monsenhor Tabosa", "Pio XII",
    "Juscelino Kubitschek", "Joaquim Nabuco", "Maestro Villa-Lobos", "Cândido Rondon",
};

constexpr string_view kRuralPlaces[] = {
    "Sítio Caiçara", "Fazenda Boa Esperança", "Comunidade Lagoa Seca", "Povoado Riacho Fundo",
    "Assentamento Nova Canaã", "Distrito de Pau-d'Arco", "Vila de São Bento", "Sítio Olho d'Água",
    "Comunidade Serra Verde", "Povoado Barra do Jacaré", "Distrito de Jatobá",
};

constexpr string_view kSecretariats[] = {
    "Obras e Urbanismo", "Saúde", "Educação", "Administração", "Finanças", "Meio Ambiente",
    "Agricultura", "Assistência Social", "Cultura e Turismo", "Esportes e Lazer", "Planejamento",
    "Transportes", "Habitação", "Infraestrutura", "Recursos Humanos", "Indústria e Comércio",
};

constexpr string_view kPosts[] = {
    "Secretário Municipal", "Diretor de Departamento", "Chefe de Divisão", "Assessor Técnico",
    "Auxiliar Administrativo", "Professor de Educação Básica", "Agente Comunitário de Saúde",
    "Engenheiro Civil", "Motorista", "Vigilante", "Enfermeiro", "Médico Plantonista",
    "Procurador Municipal", "Contador", "Fiscal de Tributos", "Merendeira", "Gari", "Tesoureiro",
};

constexpr string_view kServices[] = {
    "execução de obras de pavimentação asfáltica {lugar}",
    "reforma e ampliação da Escola Municipal {pessoa}",
    "construção de unidade básica de saúde {lugar}",
    "fornecimento de merenda escolar à rede municipal de ensino",
    "coleta de lixo e limpeza urbana",
    "transporte escolar na zona rural",
    "manutenção da iluminação pública {lugar}",
    "perfuração de poço artesiano {rural}",
    "drenagem de águas pluviais {lugar}",
    "recuperação de estradas vicinais",
    "elaboração do plano diretor municipal",
    "locação de veículos para a Secretaria de {secretaria}",
    "vigilância patrimonial dos prédios públicos",
    "capina, roçagem e poda de árvores {lugar}",
    "construção de passagem molhada {rural}",
    "calçamento em paralelepípedo {lugar}",
    "reforma do mercado público municipal",
    "instalação de rede de esgotamento sanitário {lugar}",
    "assessoria contábil ao município",
    "realização de concurso público para provimento de cargos efetivos",
    "construção de praça pública {lugar}",
    "manutenção preventiva e corretiva da frota municipal",
};

constexpr string_view kPayments[] = {
    "diárias a servidores em viagem a serviço",
    "horas extras aos servidores da Secretaria de {secretaria}",
    "honorários advocatícios",
    "indenização por desapropriação de imóvel {lugar}",
    "precatórios judiciais",
    "fatura de energia elétrica dos prédios públicos",
    "aluguel do imóvel {lugar}",
    "serviços prestados por {pessoa}",
    "restos a pagar do exercício de {ano}",
    "contribuições previdenciárias em atraso",
};

constexpr string_view kBenefits[] = {
    "licença-prêmio", "férias regulamentares", "adicional de insalubridade",
    "aposentadoria por tempo de contribuição", "auxílio-alimentação",
    "licença para tratamento de saúde", "progressão funcional", "gratificação por titulação",
    "abono de permanência", "pensão por morte", "salário-família", "licença-maternidade",
};

constexpr string_view kGoods[] = {
    "medicamentos", "material de expediente", "equipamentos de informática",
    "gêneros alimentícios", "combustível e lubrificantes", "uniformes escolares",
    "mobiliário escolar", "material de construção", "pneus e peças de reposição",
    "insumos hospitalares", "material de limpeza", "livros didáticos", "cestas básicas",
};

constexpr string_view kBodies[] = {
    "o Governo do Estado", "o Ministério da Saúde", "a Fundação Nacional de Saúde",
    "o Fundo Nacional de Desenvolvimento da Educação", "a Câmara Municipal",
    "o Tribunal de Contas do Estado", "o Ministério Público Estadual", "a Caixa Econômica Federal",
    "a Associação de Moradores {bairroDe}", "a Companhia de Água e Esgoto",
    "o Instituto Nacional do Seguro Social", "a Cooperativa Agrícola {rural}",
};

constexpr string_view kObjects[] = {
    "a contratação de empresa especializada para {servico}",
    "a abertura de processo licitatório, na modalidade {modalidade}, para {servico}",
    "o pagamento de {pagamento}",
    "a concessão de {beneficio} ao(à) servidor(a) {pessoa}, {cargo}",
    "a prestação de contas do convênio firmado com {orgaoExt}",
    "a cessão de uso do imóvel situado {lugar}",
    "a desapropriação, por utilidade pública, de área {lugar}",
    "a nomeação de {pessoa} para o cargo de {cargo}",
    "a exoneração, a pedido, de {pessoa} do cargo de {cargo}",
    "o convênio celebrado com {orgaoExt} para {servico}",
    "a aquisição de {material} para a Secretaria de {secretaria}",
    "a vistoria técnica realizada {lugar}",
    "a regularização fundiária dos lotes {lugar}",
    "a prorrogação do prazo de vigência do contrato nº {n}/{ano}",
    "a reclamação apresentada por {pessoa} quanto a {problema}",
    "o reajuste dos valores do contrato de {servico}",
    "a instauração de sindicância para apurar {problema}",
    "a doação de terreno {lugar} para construção de {obra}",
    "o parcelamento de débitos de IPTU de {pessoa}",
    "a emissão de alvará de construção para imóvel {lugar}",
    "o repasse de recursos a {orgaoExt}",
    "a suplementação de dotação orçamentária da Secretaria de {secretaria}",
};

constexpr string_view kTenders[] = {
    "pregão presencial", "pregão eletrônico", "tomada de preços", "concorrência pública",
    "convite", "dispensa de licitação", "inexigibilidade de licitação",
};

constexpr string_view kProblems[] = {
    "buracos na via pública", "falta de iluminação na praça", "vazamento na rede de água",
    "extravio de documentos", "atraso no pagamento de salários", "acúmulo de lixo em terreno baldio",
    "ruído excessivo de estabelecimento comercial", "danos ao patrimônio público",
    "irregularidades na merenda escolar", "construção irregular em área pública",
};

constexpr string_view kWorks[] = {
    "creche municipal", "quadra poliesportiva", "posto de saúde", "escola de ensino fundamental",
    "centro comunitário", "cemitério municipal", "biblioteca pública",
};

constexpr string_view kOpeners[] = {
    "Dispõe sobre", "Autoriza", "Solicita", "Encaminha", "Versa sobre", "Manifesta-se sobre",
    "Aprova", "Homologa", "Determina", "Requer", "Informa sobre", "Comunica", "Regulamenta",
    "Designa comissão para examinar", "Notifica o interessado sobre", "Apresenta parecer sobre",
    "Ratifica", "Registra", "Recomenda", "Indefere", "Defere",
};

constexpr string_view kClosings[] = {
    "Valor estimado em R$ {valor}.",
    "Prazo de execução de {dias} dias.",
    "Anexa documentação comprobatória.",
    "Com parecer favorável da Procuradoria Jurídica.",
    "Encaminhado à Secretaria de {secretaria} para as providências cabíveis.",
    "Referente ao exercício de {ano}.",
    "Publique-se no Diário Oficial do Município.",
    "Dotação orçamentária: {n}.{n}.{n}.{n}.",
    "Fiscal do contrato: {pessoa}.",
    "Processo de origem nº {n}/{ano}.",
    "Cumpra-se.",
    "Arquive-se após as anotações de praxe.",
    "Conforme Lei Municipal nº {n}/{ano}.",
    "Aguardando manifestação do interessado.",
    "Valor total de R$ {valor}, pago em {parcelas} parcelas.",
    "Cópia enviada ao Tribunal de Contas do Estado.",
};

// Words that occur in only a handful of documents.
constexpr string_view kRareWords[] = {
    "sambaqui", "quilombola", "sesmaria", "enfiteuse", "aforamento", "xilogravura", "paleontológico",
    "espeleologia", "carnaubal", "jequitibá", "piaçava", "taipa de pilão", "vaquejada", "marujada",
    "congado", "reisado", "cavalhada", "hanseníase", "leishmaniose", "esquistossomose",
    "escafandro", "alambique", "bolandeira", "casa de farinha", "engenho de rapadura",
    "umbuzeiro", "mandacaru", "xiquexique", "cacimba", "jangada", "pau-brasil", "igarapé",
    "palafita", "babaçu", "oiticica", "cajueiro", "juazeiro", "maracatu", "ciranda", "bumba-meu-boi",
    "repentista", "cordelista", "xilógrafo", "tipógrafo", "linotipo", "sineiro", "ourives",
    "seleiro", "tanoeiro", "ferrador", "amolador", "quitandeira", "parteira", "benzedeira",
    "barbeiro-sangrador", "pelourinho", "chafariz", "coreto", "gasômetro", "bonde elétrico",
    "zepelim", "telégrafo", "mimeógrafo", "datilógrafo", "estenografia", "heliografia",
    "agrimensura", "hidrômetro", "pluviômetro", "sismógrafo", "anemômetro", "quimono",
    "azulejaria", "cantaria", "estuque", "muxarabi", "platibanda", "clarabóia", "alpendre",
};

constexpr string_view kRareSentences[] = {
    "Observação: consta menção a {raro} no levantamento anexo.",
    "Registra-se a presença de {raro} na área vistoriada.",
    "Inclui inventário de {raro} do acervo municipal.",
    "Ver também o laudo sobre {raro}.",
};

constexpr string_view kKeywords[] = {
    "licitação", "pregão", "obras", "pavimentação", "saúde", "educação", "merenda escolar",
    "transporte escolar", "servidor público", "férias", "aposentadoria", "convênio",
    "prestação de contas", "orçamento", "tributos", "IPTU", "ISS", "meio ambiente", "saneamento",
    "iluminação pública", "desapropriação", "patrimônio", "contrato", "termo aditivo", "empenho",
    "diárias", "folha de pagamento", "concurso público", "nomeação", "exoneração",
    "Câmara Municipal", "Procuradoria", "Defesa Civil", "assistência social", "habitação",
    "cultura", "esporte", "turismo", "agricultura", "frota", "combustível", "almoxarifado",
    "informática", "limpeza urbana", "drenagem", "água", "esgoto", "estradas vicinais",
    "alvará", "fiscalização", "sindicância", "regularização fundiária", "doação", "cessão de uso",
    "Tribunal de Contas", "Ministério Público", "recursos humanos", "previdência", "dívida ativa",
    "precatórios", "medicamentos", "creche", "escola", "posto de saúde", "zona rural",
};

// Document kinds, their qualifiers and the sectors that issue them (upper case, as entered).
constexpr string_view kKinds[] = {
    "OFÍCIO", "MEMORANDO", "PORTARIA", "DECRETO", "CONTRATO", "TERMO ADITIVO", "CONVÊNIO",
    "ATA", "PARECER", "NOTA FISCAL", "NOTA DE EMPENHO", "REQUERIMENTO", "CERTIDÃO", "LAUDO",
    "EDITAL", "PLANTA", "RELATÓRIO", "DESPACHO", "NOTIFICAÇÃO", "RECIBO", "ALVARÁ", "LICENÇA",
    "PROJETO", "LEI", "RESOLUÇÃO", "INSTRUÇÃO NORMATIVA", "ORDEM DE SERVIÇO", "PROCURAÇÃO",
    "DECLARAÇÃO", "ATESTADO", "COMUNICADO", "CIRCULAR", "PROTOCOLO", "ORÇAMENTO", "PLANILHA",
    "MAPA", "FOTOGRAFIA", "TERMO DE REFERÊNCIA", "TERMO DE POSSE", "CONTRACHEQUE", "GUIA",
    "BOLETIM", "EXTRATO", "FATURA", "DIÁRIO OFICIAL", "MANDADO", "SENTENÇA", "PETIÇÃO",
    "ACÓRDÃO", "AUTO DE INFRAÇÃO", "TERMO DE COMPROMISSO", "ESCRITURA", "MATRÍCULA", "CROQUI",
    "MEMORIAL DESCRITIVO", "CRONOGRAMA", "BALANCETE", "NOTA TÉCNICA", "INFORMAÇÃO", "REQUISIÇÃO",
};

constexpr string_view kQualifiers[] = {
    "", "CIRCULAR", "INTERNO", "EXTERNO", "RESERVADO", "URGENTE", "SIMPLES", "COMPLEMENTAR",
    "RETIFICADOR", "DE ENCAMINHAMENTO", "DE RESPOSTA", "ORIGINAL", "CÓPIA AUTENTICADA", "2ª VIA",
    "PRELIMINAR", "FINAL", "ANUAL", "MENSAL", "TRIMESTRAL", "SUBSTITUTIVO", "DE GESTÃO",
    "TÉCNICO", "JURÍDICO", "FINANCEIRO", "CONTÁBIL",
};

constexpr string_view kSectors[] = {
    "GABINETE DO PREFEITO", "SEC. DE OBRAS", "SEC. DE SAÚDE", "SEC. DE EDUCAÇÃO",
    "SEC. DE ADMINISTRAÇÃO", "SEC. DE FINANÇAS", "SEC. DE MEIO AMBIENTE", "SEC. DE AGRICULTURA",
    "SEC. DE ASSISTÊNCIA SOCIAL", "SEC. DE CULTURA", "SEC. DE ESPORTES", "SEC. DE PLANEJAMENTO",
    "SEC. DE TRANSPORTES", "SEC. DE HABITAÇÃO", "PROCURADORIA GERAL", "CONTROLADORIA",
    "TESOURARIA", "CONTABILIDADE", "ALMOXARIFADO", "PROTOCOLO GERAL", "RECURSOS HUMANOS",
    "DEFESA CIVIL", "VIGILÂNCIA SANITÁRIA", "CONSELHO TUTELAR", "GUARDA MUNICIPAL",
    "CÂMARA MUNICIPAL", "JUNTA MILITAR", "ARQUIVO PÚBLICO", "HOSPITAL MUNICIPAL",
    "FUNDO MUN. DE SAÚDE", "FUNDEB", "CONSELHO DE EDUCAÇÃO", "COMISSÃO DE LICITAÇÃO",
    "OUVIDORIA", "SETOR DE TRIBUTOS", "SETOR DE PATRIMÔNIO", "SETOR DE COMPRAS",
    "COORD. DE VIGILÂNCIA", "COORD. DE ATENÇÃO BÁSICA", "CRAS", "CREAS", "SAAE", "IPREV",
    "DEPTO. DE ESTRADAS", "DEPTO. DE TRÂNSITO",
};

constexpr string_view kProcessThemes[] = {
    "LICITAÇÃO Nº {n}/{ano} - {KIND}", "PREGÃO PRESENCIAL Nº {n}/{ano}",
    "TOMADA DE PREÇOS Nº {n}/{ano}", "APOSENTADORIA - {PESSOA}", "PENSÃO - {PESSOA}",
    "OBRA: {OBRA} {BAIRRO}", "PRESTAÇÃO DE CONTAS - CONVÊNIO {n}/{ano}",
    "DESAPROPRIAÇÃO - {BAIRRO}", "CONCURSO PÚBLICO {ano}",
    "PROC. ADMINISTRATIVO DISCIPLINAR {n}/{ano}", "FOLHA DE PAGAMENTO - {MES}/{ano}",
    "PRESTAÇÃO DE CONTAS ANUAL {ano}", "LEIS MUNICIPAIS {ano}", "DECRETOS {ano}",
    "PORTARIAS DE PESSOAL {ano}", "VIDA FUNCIONAL - {PESSOA}", "ALVARÁS DE CONSTRUÇÃO {ano}",
    "REGULARIZAÇÃO FUNDIÁRIA - {BAIRRO}", "CONVÊNIO {n}/{ano} - {SETOR}", "CORRESPONDÊNCIAS {ano} - {SETOR}",
    "SINDICÂNCIA Nº {n}/{ano}", "EXECUÇÃO FISCAL - {PESSOA}", "CONTRATOS DE {ano} - {SETOR}",
};

constexpr string_view kMonths[] = {
    "JANEIRO", "FEVEREIRO", "MARÇO", "ABRIL", "MAIO", "JUNHO", "JULHO", "AGOSTO", "SETEMBRO",
    "OUTUBRO", "NOVEMBRO", "DEZEMBRO",
};

constexpr string_view kSites[] = {
    "ARQUIVO CENTRAL", "ARQUIVO GERAL", "ARQ. INTERMEDIÁRIO", "DEPÓSITO ANEXO", "SALA 12",
    "SALA 3", "ALMOXARIFADO", "PORÃO DA PREFEITURA", "GALPÃO DA SEINFRA", "GABINETE",
    "CÂMARA MUNICIPAL", "BIBLIOTECA", "PRÉDIO DO SAAE", "ARQUIVO MORTO",
};

constexpr string_view kCities[] = {
    "SÃO JOÃO DO RIO PEIXE", "SANTA LUZIA DO NORTE", "NOVA ESPERANÇA", "CONCEIÇÃO DAS ALAGOAS",
    "BOM JESUS DA LAPA", "SÃO BENTO DO UNA", "ITAPAGÉ", "JAGUARIBE", "CRATEÚS", "ARAPIRACA",
};

template <size_t N>
constexpr Words words(const string_view (&array)[N])
{
    return Words(array, N);
}

// ---------------------------------------------------------------------------------------
// Text helpers (UTF-8)

size_t utf8Length(string_view text)
{
    return size_t(std::count_if(text.begin(), text.end(), [](char c) { return (uchar(c) & 0xC0) != 0x80; }));
}

/// Cuts text to at most maxChars characters, at a word boundary where there is one.
void truncateChars(string &text, size_t maxChars)
{
    if (utf8Length(text) <= maxChars)
        return;
    size_t chars = 0, cut = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((uchar(text[i]) & 0xC0) != 0x80) {
            if (chars == maxChars) {
                cut = i;
                break;
            }
            ++chars;
        }
    }
    const size_t space = text.rfind(' ', cut);
    text.resize(space != string::npos && space > cut / 2 ? space : cut);
    while (!text.empty() && (text.back() == ' ' || text.back() == '-' || text.back() == ','))
        text.pop_back();
}

string upper(string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size())).toUpper().toStdString();
}

string lower(string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size())).toLower().toStdString();
}

string capitalised(string_view text)
{
    QString s = QString::fromUtf8(text.data(), qsizetype(text.size()));
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
    return s.toStdString();
}

void appendNumber(string &out, long long value, int width = 0)
{
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    const auto digits = int(end - buf);
    for (int i = digits; i < width; ++i)
        out += '0';
    out.append(buf, end);
}

string code5(int value)
{
    string s;
    appendNumber(s, value, 5);
    return s;
}

string money(Rng &rng)
{
    const long long cents = (long long)(std::exp(rng.unit() * 14.0) * 100.0) + rng.between(0, 99);
    const string digits = std::to_string(cents / 100);
    string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += '.';
        out += digits[i];
    }
    out += ',';
    appendNumber(out, cents % 100, 2);
    return out;
}

// ---------------------------------------------------------------------------------------
// Template expansion: "{name}" is replaced by a choice from the list of that name (itself
// expanded), or by a generated value.

struct TextContext {
    int year = 2000;
};

class Expander {
public:
    Expander()
    {
        m_lists = {
            {"servico", words(kServices)},   {"pagamento", words(kPayments)},
            {"beneficio", words(kBenefits)}, {"material", words(kGoods)},
            {"orgaoExt", words(kBodies)},    {"modalidade", words(kTenders)},
            {"problema", words(kProblems)},  {"obra", words(kWorks)},
            {"secretaria", words(kSecretariats)}, {"cargo", words(kPosts)},
            {"rural", words(kRuralPlaces)},  {"raro", words(kRareWords)},
            {"bairro", words(kDistricts)},   {"KIND", words(kKinds)},
            {"SETOR", words(kSectors)},      {"MES", words(kMonths)},
        };
    }

    void expand(string_view tpl, Rng &rng, const TextContext &ctx, string &out) const
    {
        size_t i = 0;
        while (i < tpl.size()) {
            const size_t open = tpl.find('{', i);
            if (open == string_view::npos) {
                out.append(tpl.substr(i));
                return;
            }
            out.append(tpl.substr(i, open - i));
            const size_t close = tpl.find('}', open);
            const string_view name = tpl.substr(open + 1, close - open - 1);
            placeholder(name, rng, ctx, out);
            i = close + 1;
        }
    }

    string expanded(string_view tpl, Rng &rng, const TextContext &ctx) const
    {
        string out;
        expand(tpl, rng, ctx, out);
        return out;
    }

    string person(Rng &rng) const
    {
        string out(rng.pick(words(kFirstNames)));
        out += ' ';
        if (rng.chance(0.15))
            out += rng.chance(0.5) ? "da " : "de ";
        out += rng.pick(words(kSurnames));
        if (rng.chance(0.6)) {
            out += ' ';
            out += rng.pick(words(kSurnames));
        }
        return out;
    }

private:
    void placeholder(string_view name, Rng &rng, const TextContext &ctx, string &out) const
    {
        if (name == "n") {
            appendNumber(out, rng.between(1, 999));
        } else if (name == "ano") {
            appendNumber(out, std::clamp(ctx.year - rng.between(0, 2), 1960, 2100));
        } else if (name == "valor") {
            out += money(rng);
        } else if (name == "parcelas") {
            appendNumber(out, rng.between(2, 24));
        } else if (name == "dias") {
            appendNumber(out, rng.between(1, 12) * 30);
        } else if (name == "pessoa") {
            out += person(rng);
        } else if (name == "PESSOA") {
            out += upper(person(rng));
        } else if (name == "BAIRRO") {
            out += upper(rng.pick(words(kDistricts)));
        } else if (name == "OBRA") {
            out += upper(rng.pick(words(kWorks)));
        } else if (name == "bairroDe") {
            out += "do bairro ";
            out += rng.pick(words(kDistricts));
        } else if (name == "lugar") {
            switch (rng.below(5)) {
            case 0: out += "no bairro "; out += rng.pick(words(kDistricts)); break;
            case 1: out += "na Rua "; out += rng.pick(words(kStreets)); out += ", nº "; appendNumber(out, rng.between(1, 2500)); break;
            case 2: out += "na Avenida "; out += rng.pick(words(kStreets)); break;
            case 3: out += "no loteamento "; out += rng.pick(words(kDistricts)); break;
            default: out += "na localidade "; out += rng.pick(words(kRuralPlaces)); break;
            }
        } else if (auto it = m_lists.find(name); it != m_lists.end()) {
            expand(rng.pick(it->second), rng, ctx, out);
        } else {
            out.append(name); // unreachable with the tables above
        }
    }

    std::unordered_map<string_view, Words> m_lists;
};

// ---------------------------------------------------------------------------------------
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
        Rng rng(streamSeed(o.seed, kProcessSizes, uint64_t(p)));
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
    Rng rng(streamSeed(o.seed, kPageSet));
    for (long long k = 0; k < n; ++k)
        chosen.push_back(std::min<long long>(o.documents - 1, (long long)(double(k) * step + rng.unit() * step)));
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    return chosen;
}

// ---------------------------------------------------------------------------------------
// Dates as day numbers

constexpr int kDayOf1970 = 25569; // 1 January 1970 counted from 30 December 1899

int dayNumber(const QDate &date)
{
    return int(db::toDayNumber(date.startOfDay()));
}

QDate dateOf(int dayNumber)
{
    return db::fromDayNumber(dayNumber).date();
}

// ---------------------------------------------------------------------------------------
// Page images

struct PageJob {
    QString path;
    QString process;
    QString document;
    QString title;
    QString summary;
    QString agency;
    QString sector;
    QString signer;
    QString dateText;
    int page = 1;
    int pages = 1;
    int dpi = 150;
    uint64_t seed = 0;
};

QSize a4Pixels(int dpi)
{
    return {int(std::lround(210.0 / 25.4 * dpi)), int(std::lround(297.0 / 25.4 * dpi))};
}

QFont fontAt(const QString &family, double points, int dpi, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(std::max(4, int(std::lround(points * dpi / 72.0))));
    font.setBold(bold);
    return font;
}

// A typed municipal page: letterhead, identification, text, signature, a stamp on the first
// page; paper tone and a slight skew as a scanner delivers them.
QImage renderPage(const PageJob &job, const Expander &expander)
{
    Rng rng(job.seed);
    const QSize size = a4Pixels(job.dpi);
    QImage image(size, QImage::Format_RGB888);
    const int tone = 238 + rng.between(0, 14);
    image.fill(QColor(tone + 2 > 255 ? 255 : tone + 2, tone, tone - rng.between(4, 14)));

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double mm = job.dpi / 25.4;
    painter.translate(size.width() / 2.0, size.height() / 2.0);
    painter.rotate((rng.unit() - 0.5) * 0.8);
    painter.translate(-size.width() / 2.0, -size.height() / 2.0);

    const QColor ink(25, 25, 35);
    painter.setPen(ink);
    const QRectF body(25 * mm, 20 * mm, size.width() - 45 * mm, size.height() - 40 * mm);
    double y = body.top();

    auto line = [&](const QString &text, const QFont &font, Qt::Alignment align) {
        painter.setFont(font);
        const QRectF box(body.left(), y, body.width(), size.height());
        const QRectF used = painter.boundingRect(box, int(align | Qt::TextWordWrap), text);
        painter.drawText(box, int(align | Qt::TextWordWrap), text);
        y += used.height() + 2 * mm;
    };

    line(job.agency, fontAt(u"DejaVu Serif"_s, 14, job.dpi, true), Qt::AlignHCenter);
    line(job.sector, fontAt(u"DejaVu Serif"_s, 11, job.dpi), Qt::AlignHCenter);
    painter.setPen(QPen(ink, std::max(1.0, 0.4 * mm)));
    painter.drawLine(QPointF(body.left(), y), QPointF(body.right(), y));
    y += 4 * mm;
    painter.setPen(ink);
    line(u"Processo nº %1    Documento %2    Folha %3 de %4"_s.arg(job.process, job.document).arg(job.page).arg(job.pages),
         fontAt(u"DejaVu Sans Mono"_s, 9, job.dpi), Qt::AlignLeft);
    if (job.page == 1) {
        line(job.title, fontAt(u"DejaVu Serif"_s, 13, job.dpi, true), Qt::AlignHCenter);
        line(job.summary, fontAt(u"DejaVu Serif"_s, 11, job.dpi), Qt::AlignJustify);
    }

    // Running text up to three quarters of the page.
    const QFont textFont = fontAt(u"DejaVu Serif"_s, 11, job.dpi);
    const TextContext ctx{2000};
    while (y < body.top() + body.height() * 0.72) {
        string paragraph = "    ";
        const int sentences = rng.between(2, 5);
        for (int s = 0; s < sentences; ++s) {
            expander.expand(rng.pick(words(kOpeners)), rng, ctx, paragraph);
            paragraph += ' ';
            expander.expand(rng.pick(words(kObjects)), rng, ctx, paragraph);
            paragraph += ". ";
            expander.expand(rng.pick(words(kClosings)), rng, ctx, paragraph);
            paragraph += ' ';
        }
        line(QString::fromStdString(paragraph), textFont, Qt::AlignJustify);
    }

    y = body.bottom() - 30 * mm;
    line(job.dateText, textFont, Qt::AlignRight);
    y += 10 * mm;
    painter.setPen(QPen(ink, std::max(1.0, 0.3 * mm)));
    painter.drawLine(QPointF(body.center().x() - 40 * mm, y), QPointF(body.center().x() + 40 * mm, y));
    y += 2 * mm;
    line(job.signer, textFont, Qt::AlignHCenter);

    if (job.page == 1) {
        const QColor stampInk(30, 60, 160, 170);
        painter.setPen(QPen(stampInk, std::max(1.0, 0.6 * mm)));
        const QRectF stamp(body.left(), body.bottom() - 32 * mm, 40 * mm, 22 * mm);
        painter.drawRoundedRect(stamp, 3 * mm, 3 * mm);
        painter.setFont(fontAt(u"DejaVu Sans"_s, 8, job.dpi, true));
        painter.drawText(stamp, Qt::AlignCenter, u"PROTOCOLO\n"_s + job.dateText.right(10));
    }
    painter.end();
    return image;
}

class PageWriter {
public:
    explicit PageWriter(int threads) { m_pool.setMaxThreadCount(threads); }

    void add(PageJob job)
    {
        ++m_queued;
        m_pool.start([this, job = std::move(job)] {
            try {
                const QImage image = renderPage(job, m_expander);
                const QByteArray bytes = editing::jpeg::encode(image, editing::jpeg::kPageQuality);
                QFile file(job.path);
                if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
                    throw std::runtime_error(QString(u"cannot write "_s + job.path + u": "_s + file.errorString()).toStdString());
                m_bytes += bytes.size();
            } catch (const std::exception &e) {
                QMutexLocker lock(&m_errorMutex);
                if (m_error.isEmpty())
                    m_error = QString::fromLocal8Bit(e.what());
            }
            ++m_done;
        });
    }

    /// Blocks while more than `limit` pages wait, so queued jobs never pile up in memory.
    void throttle(int limit)
    {
        while (m_queued - m_done > limit)
            QThread::msleep(5);
    }

    void wait() { m_pool.waitForDone(); }
    long long done() const { return m_done; }
    long long queued() const { return m_queued; }
    long long bytes() const { return m_bytes; }
    QString error() const
    {
        QMutexLocker lock(&m_errorMutex);
        return m_error;
    }

private:
    Expander m_expander;
    QThreadPool m_pool;
    std::atomic<long long> m_queued{0};
    std::atomic<long long> m_done{0};
    std::atomic<long long> m_bytes{0};
    mutable QMutex m_errorMutex;
    QString m_error;
};

// ---------------------------------------------------------------------------------------
// sqlite3 helpers

class Statement {
public:
    Statement(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            fail();
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void text(int index, string_view value)
    {
        check(sqlite3_bind_text(m_stmt, index, value.data(), int(value.size()), SQLITE_TRANSIENT));
    }
    void integer(int index, long long value) { check(sqlite3_bind_int64(m_stmt, index, value)); }
    void day(int index, int dayNumber) { check(sqlite3_bind_double(m_stmt, index, double(dayNumber))); }
    void null(int index) { check(sqlite3_bind_null(m_stmt, index)); }
    void run()
    {
        if (sqlite3_step(m_stmt) != SQLITE_DONE)
            fail();
        sqlite3_reset(m_stmt);
    }
    QString singleText()
    {
        QString result;
        if (sqlite3_step(m_stmt) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, 0)));
        sqlite3_reset(m_stmt);
        return result;
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            fail();
    }
    [[noreturn]] void fail() { throw db::DbError(QString::fromUtf8(sqlite3_errmsg(m_db))); }

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

void exec(sqlite3 *db, const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        throw db::DbError(message + u" ("_s + sql + u')');
    }
}

QString pragma(sqlite3 *db, const char *name)
{
    Statement s(db, (string("PRAGMA ") + name).c_str());
    return s.singleText();
}

// Relaxes durability while the rows are written and puts it back however the run ends.
class RelaxedJournal {
public:
    explicit RelaxedJournal(sqlite3 *db)
        : m_db(db), m_journal(pragma(db, "journal_mode")), m_synchronous(pragma(db, "synchronous"))
    {
        exec(db, u"PRAGMA journal_mode=OFF"_s);
        exec(db, u"PRAGMA synchronous=OFF"_s);
        exec(db, u"PRAGMA cache_size=-262144"_s);
    }
    ~RelaxedJournal()
    {
        sqlite3_exec(m_db, "PRAGMA cache_size=-2000", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, ("PRAGMA synchronous=" + m_synchronous.toStdString()).c_str(), nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, ("PRAGMA journal_mode=" + m_journal.toStdString()).c_str(), nullptr, nullptr, nullptr);
    }
    RelaxedJournal(const RelaxedJournal &) = delete;
    RelaxedJournal &operator=(const RelaxedJournal &) = delete;

private:
    sqlite3 *m_db;
    QString m_journal;
    QString m_synchronous;
};

// ---------------------------------------------------------------------------------------
// The generator

class Progress {
public:
    explicit Progress(const char *what, long long total) : m_what(what), m_total(total) { m_clock.start(); }
    void update(long long done, bool force = false)
    {
        if (!force && m_clock.elapsed() - m_last < 1000)
            return;
        m_last = m_clock.elapsed();
        std::fprintf(stderr, "%s: %lld/%lld (%d%%), %.1f s\n", m_what, done, m_total,
                     m_total ? int(done * 100 / m_total) : 100, double(m_clock.elapsed()) / 1000.0);
    }

private:
    const char *m_what;
    long long m_total;
    QElapsedTimer m_clock;
    qint64 m_last = -1000000;
};

struct Agency {
    string name;
    string city;
    string shortName;
};

class Generator {
public:
    explicit Generator(Options options) : m_o(std::move(options)), m_pages(m_o.jobs)
    {
        for (string_view word : kKeywords) {
            m_keywordsUpper.push_back(upper(word));
            m_keywordsCapitalised.push_back(capitalised(word));
        }
    }

    void run()
    {
        QElapsedTimer clock;
        clock.start();
        m_sizes = processSizes(m_o);
        checkPagesFor();
        m_untilDay = dayNumber(m_o.until);

        const QDir out(m_o.outDir);
        const QString dbPath = QFileInfo(out.filePath(u"dados/cartulo.db"_s)).absoluteFilePath();
        if (QFileInfo::exists(dbPath))
            throw db::DbError(dbPath + u" already exists; cartulo-gen never writes into an existing archive"_s);
        if (!out.mkpath(u"dados/laudas"_s))
            throw std::runtime_error(QString(u"cannot create "_s + out.filePath(u"dados/laudas"_s)).toStdString());
        m_laudas = QDir(out.filePath(u"dados/laudas"_s)).absolutePath() + u'/';

        db::Connection::createArchive(dbPath);
        db::Connection connection;
        connection.openFile(dbPath);
        sqlite3 *handle = connection.handle();
        // A million documents go in faster without the index's triggers; it is filled
        // in one go afterwards.
        db::searchindex::drop(handle);
        {
            RelaxedJournal relaxed(handle);
            writeAgency(handle, out);
            writeTypes(handle);
            writeProcesses(handle);
            writeDocuments(handle);
            // As an archive in use has it after its first search.
            std::fprintf(stderr, "search index: building\n");
            QElapsedTimer indexClock;
            indexClock.start();
            db::searchindex::UpdateOptions atOnce;
            atOnce.documentsPerTransaction = 0;
            db::searchindex::update(handle, atOnce);
            std::fprintf(stderr, "search index: built in %.1f s\n", double(indexClock.elapsed()) / 1000.0);
        }
        connection.close();
        std::fprintf(stderr, "pages: waiting for %lld pages to be written\n", m_pages.queued() - m_pages.done());
        Progress pageProgress("pages", m_pages.queued());
        while (m_pages.done() < m_pages.queued()) {
            pageProgress.update(m_pages.done());
            QThread::msleep(50);
        }
        m_pages.wait();
        if (!m_pages.error().isEmpty())
            throw std::runtime_error(m_pages.error().toStdString());

        const QString udl = QFileInfo(out.filePath(u"cartulo.udl"_s)).absoluteFilePath();
        if (!QFileInfo::exists(udl))
            db::writeDescriptionFile(udl, dbPath);
        std::fprintf(stderr, "done: %d processes, %d documents, %d types (%d type codes missing), "
                             "%lld pages (%.1f MB) in %.1f s\n",
                     m_o.processes, m_o.documents, m_o.types, m_o.missingTypes, m_pages.done(),
                     double(m_pages.bytes()) / 1e6, double(clock.elapsed()) / 1000.0);
    }

private:
    void checkPagesFor()
    {
        for (const PagesFor &p : m_o.pagesFor) {
            if (p.document > m_sizes[size_t(p.process)])
                throw UsageError{u"--pages-for: process %1 holds only %2 documents"_s.arg(code(p.process)).arg(m_sizes[size_t(p.process)])};
            m_forced[key(p.process, p.document)] = p;
        }
    }

    static uint64_t key(int process, int document) { return (uint64_t(process) << 32) | uint32_t(document); }
    static QString code(int value) { return QString::fromStdString(code5(value)); }

    int totalTypeCodes() const { return m_o.types + m_o.missingTypes; }

    // Type codes 1..types+missing; `missing` of them, spread evenly, have no row.
    bool typeCodeMissing(int code) const
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
    struct TypeParts {
        int kind, qualifier, sector, repeat;
    };
    TypeParts typeParts(int code) const
    {
        const long long combos = (long long)std::size(kKinds) * std::size(kQualifiers) * std::size(kSectors);
        // A multiplier coprime with combos gives a permutation.
        const long long mult = 7919; // prime, not a factor of combos
        Rng rng(streamSeed(m_o.seed, kTypePerm));
        const long long offset = (long long)rng.below(uint32_t(combos));
        const long long index = ((long long)(code - 1) * mult + offset) % combos;
        TypeParts parts{};
        parts.kind = int(index % (long long)std::size(kKinds));
        parts.qualifier = int(index / (long long)std::size(kKinds) % (long long)std::size(kQualifiers));
        parts.sector = int(index / (long long)(std::size(kKinds) * std::size(kQualifiers)));
        parts.repeat = int((code - 1) / combos);
        return parts;
    }
    string typeDescription(int code) const
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

    void writeAgency(sqlite3 *handle, const QDir &out)
    {
        Rng rng(streamSeed(m_o.seed, kAgency));
        m_agency.city = string(rng.pick(words(kCities)));
        m_agency.name = "PREFEITURA MUNICIPAL DE " + m_agency.city;
        truncateChars(m_agency.name, 50);
        const Expander &x = m_expander;
        const QString logoPath = QFileInfo(out.filePath(u"dados/logo.jpg"_s)).absoluteFilePath();

        QImage logo(360, 140, QImage::Format_RGB888);
        logo.fill(QColor(250, 250, 245));
        {
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
            p.drawText(QRectF(140, 10, 215, 120), Qt::AlignVCenter | Qt::TextWordWrap,
                       QString::fromStdString(m_agency.name));
        }
        QFile logoFile(logoPath);
        const QByteArray logoBytes = editing::jpeg::encode(logo, editing::jpeg::kPageQuality);
        if (!logoFile.open(QIODevice::WriteOnly | QIODevice::Truncate) || logoFile.write(logoBytes) != logoBytes.size())
            throw std::runtime_error(QString(u"cannot write "_s + logoPath).toStdString());

        Statement insert(handle,
                         "INSERT INTO orgao (nome,cnpj,endereco,bairro,cidade,uf,tel,tel1,email,url,"
                         "resp1,cargo1,resp2,cargo2,logomarca) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        string cnpj;
        for (int i = 0; i < 14; ++i)
            cnpj += char('0' + rng.below(10));
        string street = "RUA " + upper(rng.pick(words(kStreets))) + ", " + std::to_string(rng.between(1, 900));
        truncateChars(street, 50);
        string slug;
        for (char c : lower(m_agency.city))
            if (c >= 'a' && c <= 'z')
                slug += c;
        insert.text(1, m_agency.name);
        insert.text(2, cnpj);
        insert.text(3, street);
        insert.text(4, "CENTRO");
        insert.text(5, m_agency.city);
        insert.text(6, "PB");
        insert.text(7, "8335" + std::to_string(rng.between(100000, 999999)));
        insert.text(8, "8335" + std::to_string(rng.between(100000, 999999)));
        insert.text(9, "arquivo@" + slug + ".pb.gov.br");
        insert.text(10, "www." + slug + ".pb.gov.br");
        string resp1 = upper(x.person(rng)), resp2 = upper(x.person(rng));
        truncateChars(resp1, 50);
        truncateChars(resp2, 50);
        insert.text(11, resp1);
        insert.text(12, "PREFEITO MUNICIPAL");
        insert.text(13, resp2);
        insert.text(14, "DIRETOR DO ARQUIVO PÚBLICO");
        insert.text(15, logoPath.toStdString()); // the program keeps the path as text
        insert.run();
    }

    void writeTypes(sqlite3 *handle)
    {
        exec(handle, u"BEGIN"_s);
        Statement insert(handle, "INSERT INTO tipo_arq (cod,descricao) VALUES (?,?)");
        int written = 0;
        for (int c = 1; written < m_o.types; ++c) {
            if (typeCodeMissing(c))
                continue;
            insert.text(1, code5(c));
            insert.text(2, typeDescription(c));
            insert.run();
            ++written;
        }
        exec(handle, u"COMMIT"_s);
    }

    struct ProcessInfo {
        int date = 0; // day number
        string site, shelf, drawer;
        int folder = 0;
        int secretariat = 0;
    };

    ProcessInfo processInfo(int p) const
    {
        Rng rng(streamSeed(m_o.seed, kProcess, uint64_t(p)));
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

    void writeProcesses(sqlite3 *handle)
    {
        exec(handle, u"BEGIN"_s);
        Statement insert(handle, "INSERT INTO processo (cod,descricao,numero,data,num_doc) VALUES (?,?,?,?,?)");
        for (int p = 1; p <= m_o.processes; ++p) {
            Rng rng(streamSeed(m_o.seed, kProcess, uint64_t(p), 1));
            const ProcessInfo info = processInfo(p);
            const TextContext ctx{dateOf(info.date).year()};
            string description = m_expander.expanded(rng.pick(words(kProcessThemes)), rng, ctx);
            description = upper(description);
            truncateChars(description, 50);
            insert.text(1, code5(p));
            insert.text(2, description);
            insert.text(3, std::to_string(rng.between(1, 99999)));
            insert.day(4, info.date);
            insert.integer(5, std::min(m_sizes[size_t(p)], 999));
            insert.run();
        }
        exec(handle, u"COMMIT"_s);
    }

    // Type codes are used unevenly: low codes are the everyday ones.
    int documentType(Rng &rng) const
    {
        const double u = rng.unit();
        return 1 + std::min(totalTypeCodes() - 1, int(u * u * totalTypeCodes()));
    }

    void writeDocuments(sqlite3 *handle)
    {
        Statement insert(handle,
                         "INSERT INTO documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,"
                         "data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta) "
                         "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)");
        const std::vector<long long> paged = pagedDocuments(m_o);
        auto nextPaged = paged.begin();
        long long index = 0;
        Progress progress("documents", m_o.documents);
        exec(handle, u"BEGIN"_s);
        for (int p = 1; p <= m_o.processes; ++p) {
            const ProcessInfo info = processInfo(p);
            for (int d = 1; d <= m_sizes[size_t(p)]; ++d, ++index) {
                const bool randomPages = nextPaged != paged.end() && *nextPaged == index;
                if (randomPages)
                    ++nextPaged;
                writeDocument(insert, info, p, d, randomPages);
                if (index % 200000 == 199999) {
                    exec(handle, u"COMMIT"_s);
                    exec(handle, u"BEGIN"_s);
                }
                if ((index & 1023) == 0) {
                    progress.update(index);
                    m_pages.throttle(64);
                }
            }
        }
        exec(handle, u"COMMIT"_s);
        progress.update(index, true);
    }

    void writeDocument(Statement &insert, const ProcessInfo &info, int p, int d, bool randomPages)
    {
        Rng rng(streamSeed(m_o.seed, kDocument, uint64_t(p), uint64_t(d)));
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

        insert.text(1, code5(d));
        insert.text(2, code5(p));
        insert.text(3, code5(type));
        insert.text(4, description);
        insert.text(5, summary);
        insert.text(6, keywords);
        issuedBlank ? insert.null(7) : insert.day(7, date);
        filedBlank ? insert.null(8) : insert.day(8, filed);
        insert.integer(9, declared);
        insert.text(10, info.site);
        insert.text(11, info.shelf);
        insert.text(12, info.drawer);
        insert.text(13, folder);
        insert.run();

        if (pages > 0)
            queuePages(p, d, pages, dpi, description, summary, info, date, rng);
    }

    void queuePages(int p, int d, int pages, int dpi, const string &description, const string &summary,
                    const ProcessInfo &info, int date, Rng &rng)
    {
        PageJob base;
        base.process = code(p);
        base.document = code(d);
        base.title = QString::fromStdString(description);
        base.summary = QString::fromStdString(summary).replace(u'\n', u' ');
        base.agency = QString::fromStdString(m_agency.name);
        base.sector = u"Secretaria Municipal de "_s + QString::fromUtf8(kSecretariats[size_t(info.secretariat)].data(),
                                                                       qsizetype(kSecretariats[size_t(info.secretariat)].size()));
        base.signer = QString::fromStdString(m_expander.person(rng));
        base.dateText = QString::fromStdString(capitalised(lower(m_agency.city))) + u", "_s
            + dateOf(date).toString(u"dd/MM/yyyy"_s);
        base.pages = pages;
        base.dpi = dpi;
        for (int n = 1; n <= pages; ++n) {
            PageJob job = base;
            job.page = n;
            job.path = m_laudas + base.process + base.document + QString::number(n).rightJustified(3, u'0') + u".jpg"_s;
            job.seed = streamSeed(m_o.seed, kPage, key(p, d), uint64_t(n));
            m_pages.add(std::move(job));
        }
    }

    Options m_o;
    Expander m_expander;
    PageWriter m_pages;
    std::vector<int> m_sizes;
    std::unordered_map<uint64_t, PagesFor> m_forced;
    QString m_laudas;
    int m_untilDay = 0;
    Agency m_agency;
    std::vector<string> m_keywordsUpper;
    std::vector<string> m_keywordsCapitalised;
};

} // namespace

int main(int argc, char **argv)
{
    // Pages are drawn off screen: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    Options options;
    try {
        options = parseOptions(QCoreApplication::arguments());
    } catch (const UsageError &e) {
        std::fprintf(stderr, "cartulo-gen: %s\n\n", qPrintable(e.message));
        printUsage(stderr);
        return 2;
    }
    try {
        Generator(std::move(options)).run();
    } catch (const UsageError &e) {
        std::fprintf(stderr, "cartulo-gen: %s\n", qPrintable(e.message));
        return 2;
    } catch (const db::DbError &e) {
        std::fprintf(stderr, "cartulo-gen: %s\n", qPrintable(e.message()));
        return 1;
    } catch (const editing::jpeg::JpegError &e) {
        std::fprintf(stderr, "cartulo-gen: %s\n", qPrintable(e.message()));
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cartulo-gen: %s\n", e.what());
        return 1;
    }
    return 0;
}
